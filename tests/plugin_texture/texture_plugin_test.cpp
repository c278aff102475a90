// The built texture.so, loaded as the host loads it (dlopen with local binding) and driven only
// through its five entry points: PNG export and import on every real texture, the row order of
// the exported picture, imports of other sizes, refusals, and the panel offscreen (the window
// tests' support makes the application).

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstring>
#include <optional>

#include "editor/plugins/plugin_context.h"
#include "tests/plugin_texture/real_texture_test.h"
#include "tests/plugins/plugin_library.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

using namespace kestrova::texture;

// The library stays loaded for the whole program, as the host keeps its plug-ins.
const PluginLibrary& Library() {
    const PluginLibrary& plugin = KeptLoaded(KESTROVA_TEXTURE_PLUGIN);
    EXPECT_TRUE(plugin.loaded()) << plugin.error;
    return plugin;
}

// Hands `body` over without a window, as the command-line tool does, then converts it.
std::optional<Bytes> ExportPng(const Bytes& body) {
    const PluginLibrary& plugin = Library();
    EXPECT_EQ(plugin.Open(nullptr, body), nullptr);
    return plugin.Export(u"png");
}

std::optional<Bytes> ImportPng(const Bytes& body, const Bytes& png,
                               const char16_t* extension = u"PNG") {
    const PluginLibrary& plugin = Library();
    plugin.Open(nullptr, body);
    return plugin.Import(png, extension);
}

QImage ReadPicture(const Bytes& png) {
    return QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG")
        .convertToFormat(QImage::Format_RGBA8888);
}

Bytes WritePicture(const QImage& picture) {
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return Bytes(file.begin(), file.end());
}

QImage Picture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGBA8888);
    const Bytes pixels = Sequence(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(y), pixels.data() + std::size_t(y) * width * 4, width * 4);
    }
    return picture;
}

// Every field but the ones an import of another size changes.
void ExpectFieldsKept(TextureHeader before, const TextureHeader& after) {
    before.width = after.width;
    before.height = after.height;
    before.completeImageSize = after.completeImageSize;
    EXPECT_EQ(WriteTexture(before, {}, {}), WriteTexture(after, {}, {}));
}

using TexturePluginTest = RealTextureTest;

// Export then import gives the texture back: lossless formats with their top level byte for
// byte, DXT to within a second compression's loss; the fields and the rest stay.
TEST_F(TexturePluginTest, EveryRealTextureSurvivesPngExportAndImport) {
    for (const RealTexture& real : textures) {
        SCOPED_TRACE(real.file + " " + real.name);
        const TextureParse before = ParseTexture(real.body);
        const Texture& t = before.texture;
        const std::optional<Bytes> png = ExportPng(real.body);
        if (t.empty()) {
            EXPECT_FALSE(png.has_value());
            continue;
        }
        ASSERT_TRUE(png.has_value());
        const QImage picture = QImage::fromData(png->data(), static_cast<int>(png->size()), "PNG");
        EXPECT_EQ(picture.width(), static_cast<int>(t.header.width));
        EXPECT_EQ(picture.height(), static_cast<int>(t.header.height));
        EXPECT_EQ(picture.hasAlphaChannel(), t.format->hasAlpha);

        const std::optional<Bytes> imported = ImportPng(real.body, *png);
        ASSERT_TRUE(imported.has_value());
        const TextureParse after = ParseTexture(*imported);
        ASSERT_TRUE(after.usable()) << after.problem;
        EXPECT_EQ(WriteTexture(t.header, after.texture.imageData, t.trailing), *imported);
        if (t.format->bytesPerBlock == 0) {
            const auto top = LevelBytes(after.texture, 0);
            EXPECT_TRUE(std::equal(top.begin(), top.end(), LevelBytes(t, 0).begin(),
                                   LevelBytes(t, 0).end()));
        } else {
            const Difference d =
                Compare(DecodeStoredLevel(t, 0), DecodeStoredLevel(after.texture, 0));
            EXPECT_LE(d.mean, 0.5);
            EXPECT_LE(d.largest, 32);
        }
    }
}

// The exported picture's top row is the last row stored, read here straight from the body's
// bytes (ARGB4444: a little-endian word, alpha in the top four bits), and its bottom row the
// first one stored.
TEST_F(TexturePluginTest, ExportedPictureIsUpright) {
    for (const char* name : {"EscToExit_Text", "UnityWatermark-dev"}) {
        SCOPED_TRACE(name);
        const RealTexture* real = FindTexture(textures, name);
        ASSERT_NE(real, nullptr);
        const TextureHeader h = ParseTexture(real->body).texture.header;
        const QImage picture = ReadPicture(ExportPng(real->body).value_or(Bytes{}));
        ASSERT_EQ(picture.height(), static_cast<int>(h.height));
        for (auto [pictureRow, storedRow] : {std::pair<int, std::uint32_t>{0, h.height - 1},
                                             {static_cast<int>(h.height) - 1, 0}}) {
            const std::uint8_t* stored = real->body.data() + kHeaderSize + storedRow * h.width * 2;
            const std::uint8_t* shown = picture.constScanLine(pictureRow);
            for (std::uint32_t x = 0; x < h.width; ++x) {
                const unsigned word = stored[2 * x] | (stored[2 * x + 1] << 8);
                const std::uint8_t expected[4] = {
                    static_cast<std::uint8_t>(((word >> 8) & 15) * 17),
                    static_cast<std::uint8_t>(((word >> 4) & 15) * 17),
                    static_cast<std::uint8_t>((word & 15) * 17),
                    static_cast<std::uint8_t>((word >> 12) * 17)};
                ASSERT_TRUE(std::equal(expected, expected + 4, shown + 4 * x))
                    << "row " << pictureRow << " pixel " << x;
            }
        }
    }
}

// A picture of another size gives the texture that size and, with mip maps, a whole new chain
// down to 1x1 with each level's size per format (DXT at least one block).
TEST_F(TexturePluginTest, ImportOfAnotherSizeRebuildsTheChain) {
    struct Case {
        const char* name;
        int width;
        int height;
        std::size_t levels;
    };
    for (const Case& c : {Case{"UnitySplash2", 37, 300, 9}, Case{"Crosshair", 3, 5, 3},
                          Case{"Default-Particle", 100, 10, 7}, Case{"UnitySplash", 40, 20, 1}}) {
        SCOPED_TRACE(c.name);
        const RealTexture* real = FindTexture(textures, c.name);
        ASSERT_NE(real, nullptr);
        const Texture before = ParseTexture(real->body).texture;
        const std::optional<Bytes> imported =
            ImportPng(real->body, WritePicture(Picture(c.width, c.height)));
        ASSERT_TRUE(imported.has_value());
        const TextureParse after = ParseTexture(*imported);
        ASSERT_TRUE(after.usable()) << after.problem;
        const Texture& t = after.texture;
        EXPECT_EQ(t.header.width, static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(t.header.height, static_cast<std::uint32_t>(c.height));
        ExpectFieldsKept(before.header, t.header);
        ASSERT_EQ(t.levels.size(), c.levels);
        std::uint64_t total = 0;
        std::uint32_t w = c.width;
        std::uint32_t h = c.height;
        for (const MipLevel& level : t.levels) {
            EXPECT_EQ(level.width, w);
            EXPECT_EQ(level.height, h);
            const std::uint64_t blocks = std::uint64_t{(w + 3) / 4} * ((h + 3) / 4);
            EXPECT_EQ(level.size, before.format->bytesPerBlock != 0
                                      ? blocks * before.format->bytesPerBlock
                                      : std::uint64_t{w} * h * before.format->bytesPerPixel);
            total += level.size;
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
        }
        EXPECT_EQ(t.header.completeImageSize, total);
        EXPECT_EQ(t.imageData.size(), total);
        EXPECT_EQ(imported->size() % 4, 0u);
    }
}

// An alpha-only texture takes a picture's alpha, or the grey level of a picture without alpha.
TEST_F(TexturePluginTest, AlphaOnlyTextureTakesAlphaOrGrey) {
    const RealTexture* soft = FindTexture(textures, "Soft");
    ASSERT_NE(soft, nullptr);
    QImage grey(2, 1, QImage::Format_RGB888);
    grey.setPixelColor(0, 0, QColor(30, 30, 30));
    grey.setPixelColor(1, 0, QColor(200, 200, 200));
    QImage translucent(2, 1, QImage::Format_ARGB32);
    translucent.setPixelColor(0, 0, QColor(0, 0, 0, 70));
    translucent.setPixelColor(1, 0, QColor(255, 255, 255, 140));
    for (auto [picture, expected] :
         {std::pair{grey, Bytes{30, 200}}, {translucent, Bytes{70, 140}}}) {
        const std::optional<Bytes> imported = ImportPng(soft->body, WritePicture(picture));
        ASSERT_TRUE(imported.has_value());
        const Texture t = ParseTexture(*imported).texture;
        ASSERT_EQ(t.levels.size(), 2u);
        EXPECT_EQ(Bytes(t.imageData.begin(), t.imageData.begin() + 2), expected);
    }
}

// Damaged bodies, foreign files and calls meant for other plug-ins get null, never a crash.
TEST(TexturePluginRefusalTest, DamagedBodiesAndForeignDataAreRefused) {
    const PluginLibrary& plugin = Library();
    const Bytes good = MakeBody(2, 2, 4, false, Sequence(16));
    const Bytes png = WritePicture(Picture(3, 3));
    ASSERT_TRUE(ExportPng(good).has_value());
    ASSERT_TRUE(ImportPng(good, png).has_value());

    Bytes unknownFormat = good;
    PutLittleEndian32(unknownFormat, 12, 13);
    Bytes dataBeyondBody = good;
    PutLittleEndian32(dataBeyondBody, 52, 0x7FFFFFFF);
    for (const Bytes& body :
         {Bytes(good.begin(), good.begin() + 30), unknownFormat, dataBeyondBody}) {
        EXPECT_FALSE(ExportPng(body).has_value());
        EXPECT_FALSE(ImportPng(body, png).has_value());
    }
    EXPECT_FALSE(ImportPng(good, Bytes{'G', 'I', 'F', '8', '9', 'a'}).has_value());
    EXPECT_FALSE(ImportPng(good, Bytes(png.begin(), png.begin() + 40)).has_value());
    EXPECT_FALSE(ImportPng(good, png, u"txt").has_value());
    EXPECT_FALSE(ImportPng(good, WritePicture(Picture(kMaxSide + 1, 1))).has_value());

    // The "Mod" mode's calls: a name as input, the type id as length, a path id as extension.
    std::int32_t typeId = 0x1C;
    EXPECT_EQ(plugin.importData(u"Crosshair", &typeId, u"17"), nullptr);
    EXPECT_EQ(typeId, 0x1C);
    EXPECT_EQ(plugin.createPluginDialog(nullptr, nullptr, -5), nullptr);
    std::int32_t length = 0;
    EXPECT_EQ(plugin.exportData(&length, u"png"), nullptr);
    EXPECT_EQ(plugin.assetChanged(), 0);
}

TEST_F(TexturePluginTest, PanelShowsTheImageItsFieldsAndProblems) {
    const PluginLibrary& plugin = Library();
    const RealTexture* real = FindTexture(textures, "EscToExit_Text");
    ASSERT_NE(real, nullptr);
    QWidget window;
    window.resize(900, 420);
    window.show();
    QWidget* created = plugin.Open(&window, real->body);
    ASSERT_NE(created, nullptr);
    QPointer<QWidget> panel = created;
    EXPECT_EQ(panel->parentWidget(), &window);
    panel->setGeometry(window.rect());
    panel->show();
    QApplication::processEvents();

    EXPECT_EQ(panel->findChild<QLabel*>("textureInfo")->text(),
              QString::fromUtf8("Width: 267 · Height: 20 · Format: ARGB4444 · Mip levels: 1"));
    EXPECT_FALSE(panel->findChild<QLabel*>("textureMessage")->isVisible());
    auto* view = panel->findChild<QScrollArea*>("textureScrollArea")->widget();
    auto* zoomText = panel->findChild<QLabel*>("zoomText");
    panel->findChild<QToolButton*>("actualSizeButton")->click();
    EXPECT_EQ(view->size(), QSize(267, 20));
    EXPECT_EQ(zoomText->text(), "100 %");
    panel->findChild<QToolButton*>("zoomInButton")->click();
    EXPECT_EQ(view->size(), QSize(534, 40));
    EXPECT_FALSE(panel->findChild<QToolButton*>("fitButton")->isChecked());
    panel->findChild<QToolButton*>("fitButton")->click();
    QApplication::processEvents();
    // Fit: the 267 pixels' width fills the panel's width (less its margins and frame).
    const int fitPercent = zoomText->text().section(' ', 0, 0).toInt();
    EXPECT_EQ(fitPercent, std::lround(100.0 * view->width() / 267));
    EXPECT_GT(fitPercent, 300);
    panel->findChild<QCheckBox*>("checkerboardBox")->click();
    panel->findChild<QCheckBox*>("checkerboardBox")->click();

    // A refused import says why in the panel.
    std::int32_t length = 3;
    EXPECT_EQ(plugin.importData("abc", &length, u"png"), nullptr);
    auto* message = panel->findChild<QLabel*>("textureMessage");
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->text(), "The file is not a PNG image.");
    SaveScreenshot(&window, "texture_panel");

    // The next asset's panel replaces the one the host left; a damaged body shows its problem.
    const Bytes damaged = MakeBody(2, 2, 6, false, Sequence(16));
    QPointer<QWidget> next = plugin.Open(&window, damaged);
    EXPECT_TRUE(panel.isNull());
    ASSERT_FALSE(next.isNull());
    next->show();
    EXPECT_TRUE(next->findChild<QLabel*>("textureMessage")
                    ->text()
                    .startsWith("The texture is stored in format 6,"));
    EXPECT_FALSE(next->findChild<QToolButton*>("zoomInButton")->isEnabled());
    delete next.data();
}

// Answers the question the panel is about to ask with `button`.
void AnswerNextQuestion(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->button(button)->click();
        }
    });
}

// A streamed texture of a 2021.3 player file, handed over with a context as the host makes it.
TEST(TexturePanelContextTest, StreamedTextureNamesItsFileAndAsksBeforeAFormatChange) {
    TempFolder work;
    const std::vector<RealTexture> textures =
        LoadModernTextures(RealDataFolder(), Utf8ToUtf16(work.File("T")));
    const RealTexture* emoji = FindTexture(textures, "EmojiOne");
    if (emoji == nullptr) {
        GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
    }
    const PluginLibrary& plugin = Library();
    const auto setContext =
        reinterpret_cast<SetPluginContextProc>(plugin.Symbol(KESTROVA_SET_PLUGIN_CONTEXT_NAME));
    ASSERT_NE(setContext, nullptr);
    PluginContextHolder host;
    AssetContext asset;
    asset.engineVersion = "2021.3.18f1";
    asset.namePrefix = {8, 0, 0, 0, 'E', 'm', 'o', 'j', 'i', 'O', 'n', 'e'};
    asset.folder = Utf8ToUtf16(RealDataFolder() + "/modern/pong_u2021318");
    host.Set(asset);
    QWidget window;
    const auto open = [&](const Bytes& body) {
        setContext(host.context());
        return QPointer<QWidget>(plugin.Open(&window, body));
    };
    const auto message = [](QWidget* panel) {
        return panel->findChild<QLabel*>("textureMessage")->text().toStdString();
    };
    const Bytes png = WritePicture(Picture(24, 16));

    QPointer<QWidget> panel = open(emoji->body);
    EXPECT_EQ(panel->findChild<QLabel*>("textureInfo")->text(),
              QString::fromUtf8("Width: 512 · Height: 512 · Format: DXT5 · Mip levels: 10 · "
                                "Pixels: streamed from resources.assets.resS (349552 bytes at 0)"));
    const std::optional<Bytes> imported = plugin.Import(png, u"png");
    ASSERT_TRUE(imported.has_value());
    // The host shows the imported body in a new panel, which says what changed.
    panel = open(*imported);
    EXPECT_NE(panel->findChild<QLabel*>("textureInfo")->text().indexOf("Pixels: inline"), -1);
    EXPECT_NE(message(panel).find("no longer needs resources.assets.resS"), std::string::npos);

    // Read as BC7, which has no encoder here, it changes format only when the user agrees.
    Bytes bc7 = emoji->body;
    PutLittleEndian32(bc7, 24, 25);
    panel = open(bc7);
    AnswerNextQuestion(QMessageBox::No);
    EXPECT_FALSE(plugin.Import(png, u"png").has_value());
    EXPECT_EQ(message(panel).rfind("Images cannot be encoded into BC7", 0), 0u) << message(panel);
    AnswerNextQuestion(QMessageBox::Yes);
    EXPECT_TRUE(plugin.Import(png, u"png").has_value());
    EXPECT_NE(message(panel).find("now RGBA32 (it was BC7)."), std::string::npos);
    delete panel.data();
}

}  // namespace
}  // namespace kestrova::testing
