// The built texture plug-in inside the real editor window, installed as the run folder has it:
// a real texture shown beside the list, exported as PNG, edited, imported back and shown again;
// a large import leaves the window answering and can be cancelled.

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include "editor/tasks/task_runner.h"
#include "tests/plugin_texture/texture_test_support.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class TextureWindowTest : public GuiTest {
protected:
    void SetUp() override {
        folder = RealDataFolder();
        if (folder.empty()) {
            GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
        }
        // The window scans "Plugins" in the current directory at start-up.
        const std::filesystem::path built = KESTROVA_TEXTURE_PLUGIN_FOLDER;
        const std::filesystem::path installed = std::filesystem::current_path() / "Plugins/texture";
        std::filesystem::create_directories(installed);
        for (const char* file : {"texture.plg", "texture.so"}) {
            std::filesystem::copy_file(built / file, installed / file);
        }
        window = Start();
    }
    void TearDown() override {
        if (window) {
            Stop(window);
        }
    }

    int RowOf(const QString& name) { return static_cast<int>(Column(*window, 0).indexOf(name)); }
    QString PanelInfo() {
        QWidget* panel = window->pluginPanel();
        return panel != nullptr ? panel->findChild<QLabel*>("textureInfo")->text() : QString();
    }
    void Trigger(const char* action, const std::string& file) {
        chooser.Next(Wide(Path(file)), 1);  // the plug-in's "PNG Image (*.png)" comes first
        window->findChild<QAction*>(QString::fromUtf8(action))->trigger();
        WaitForLongWork(*window);
    }

    std::string folder;
    std::unique_ptr<MainWindow> window;
};

TEST_F(TextureWindowTest, TextureShowsExportsAndTakesAnEditedPictureBack) {
    OpenFile(*window, folder + "/ld24_EvilTestsWin32_sharedassets1.assets");
    const int lamp = RowOf("Lamp");
    ASSERT_GE(lamp, 0);
    EXPECT_EQ(Cell(*window, lamp, 1), "Texture2D");
    ClickRow(*window, lamp);
    ASSERT_NE(window->pluginPanel(), nullptr);
    EXPECT_EQ(window->pluginPanel()->objectName(), "texturePanel");
    EXPECT_EQ(window->pluginPanel()->geometry(), window->pluginPanelArea()->rect());
    EXPECT_EQ(PanelInfo(),
              QString::fromUtf8("Width: 256 · Height: 256 · Format: DXT1 · Mip levels: 9"));
    SaveScreenshot(window.get(), "texture_panel_in_window");

    Trigger("exportAction", "Lamp.png");
    QImage picture(QString::fromStdString(Path("Lamp.png")));
    ASSERT_EQ(picture.size(), QSize(256, 256));

    // An edit of another size, with a red square in its top left corner.
    QImage edited = picture.scaled(128, 64).convertToFormat(QImage::Format_ARGB32);
    QPainter(&edited).fillRect(0, 0, 16, 16, Qt::red);
    ASSERT_TRUE(edited.save(QString::fromStdString(Path("edited.png")), "PNG"));
    Trigger("importAction", "edited.png");
    EXPECT_EQ(PanelInfo(),
              QString::fromUtf8("Width: 128 · Height: 64 · Format: DXT1 · Mip levels: 8"));

    // Shown again after another asset, and exported upright with the edit in place.
    ClickRow(*window, RowOf("Ice"));
    ClickRow(*window, lamp);
    EXPECT_EQ(PanelInfo(),
              QString::fromUtf8("Width: 128 · Height: 64 · Format: DXT1 · Mip levels: 8"));
    SaveScreenshot(window.get(), "texture_panel_after_import");
    Trigger("exportAction", "again.png");
    const QImage again(QString::fromStdString(Path("again.png")));
    ASSERT_EQ(again.size(), QSize(128, 64));
    EXPECT_EQ(again.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_NE(again.pixelColor(4, 60), QColor(Qt::red));
    // The wait cursor shown during each conversion is gone again.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A picture large enough that its encode takes a while: noise, which compresses worst.
void WriteNoise(const std::string& path, int side) {
    QImage noise(side, side, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < side; ++x) {
            line[x] = random.generate() | 0xFF000000u;
        }
    }
    ASSERT_TRUE(noise.save(QString::fromStdString(path), "PNG"));
}

// The picture is read and encoded off the interface thread: the window's timers run during the
// encode, and the conversion dialog's Cancel stops it with the texture, its row and its panel as
// they were.
TEST_F(TextureWindowTest, LargeImportsKeepTheWindowAnsweringAndCancelChangesNothing) {
    OpenFile(*window, folder + "/ld24_EvilTestsWin32_sharedassets1.assets");
    const int lamp = RowOf("Lamp");
    ASSERT_GE(lamp, 0);
    ClickRow(*window, lamp);
    WriteNoise(Path("noise.png"), 2048);
    const QString info = PanelInfo();
    const QString size = Cell(*window, lamp, 3);

    bool importing = false;
    int answered = 0;
    bool dialogSeen = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        // Only ticks of the encode count (it runs once the file has been read).
        answered += importing && !window->taskRunner()->running() ? 1 : 0;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "conversionDialog" && top->isVisible() && !dialogSeen) {
                dialogSeen = true;
                top->findChild<QPushButton*>("cancelConversionButton")->click();
            }
        }
    });
    ticker.start(5);
    // Timers that fire only after the import ended do not count.
    chooser.Next(Wide(Path("noise.png")), 1);
    importing = true;
    window->findChild<QAction*>("importAction")->trigger();
    while (window->taskRunner()->running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    importing = false;
    ProcessEvents();
    EXPECT_GT(answered, 0);
    if (dialogSeen) {
        // Cancelled: nothing changed.
        EXPECT_EQ(PanelInfo(), info);
        EXPECT_EQ(Cell(*window, lamp, 3), size);
    } else {
        // Done within the dialog's delay on a fast machine: the import took effect.
        EXPECT_EQ(PanelInfo(),
                  QString::fromUtf8("Width: 2048 · Height: 2048 · Format: DXT1 · Mip levels: 12"));
    }
}

}  // namespace
}  // namespace kestrova::testing
