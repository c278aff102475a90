// kestrova-cli run as a program on the later engines' real textures: every Texture2D of the
// files and bundle members exports as PNG (streamed ones from their resource files); a PNG
// imported into a streamed texture is stored inline and reads back without the resource file,
// and a format without an encoder changes only with --convert-format.

#include <QImage>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/document/program_run.h"
#include "tests/plugin_texture/real_texture_test.h"

namespace kestrova::testing {
namespace {

class TextureCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RealDataFolder().empty()) {
            GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
        }
    }
    ProgramRun Cli(const std::string& args) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + args + " 2>" + folder.File("stderr"));
    }
    std::string Errors() const { return folder.Read("stderr"); }
    std::string At(const std::string& name) const { return "'" + folder.File(name) + "'"; }

    TempFolder folder;
    const std::string modern = RealDataFolder() + "/modern/";
};

QImage ReadPicture(const std::string& path) {
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGBA8888);
}

// A smooth opaque picture, unlike any texture it is imported into.
QImage Gradient(int width, int height) {
    QImage picture(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height, 128, 255));
        }
    }
    return picture;
}

TEST_F(TextureCliTest, EveryRealTextureExportsAsPng) {
    struct Case {
        const char* file;
        const char* member;
        int written;
        int skipped;  // the 0 × 0 font texture of the default resources holds no image
    };
    const Case cases[] = {
        {"pong_u2021318/resources.assets", "", 1, 0},
        {"bombguys_u2018435/sharedassets1.assets", "", 1, 0},
        {"abbuild_u201731p1/chatapng.ab", "", 1, 0},
        {"gamecode8_u2020322/data.unity3d", "sharedassets0.assets", 4, 0},
        {"gamecode8_u2020322/data.unity3d", "sharedassets1.assets", 7, 0},
        {"cubearena_u501/unity default resources", "", 41, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const std::string out = folder.File(std::string("out-") + c.member + c.file[0]);
        const ProgramRun run =
            Cli("export '" + modern + c.file + "'" + (*c.member ? " --member " : "") + c.member +
                " --all --type Texture2D --as png -d '" + out + "'");
        EXPECT_EQ(run.status, c.skipped == 0 ? 0 : 2) << Errors();
        EXPECT_NE(run.out.find("Wrote " + std::to_string(c.written) + " of " +
                               std::to_string(c.written + c.skipped)),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(Errors().find("holds no image") != std::string::npos, c.skipped > 0) << Errors();
        for (const auto& item : std::filesystem::directory_iterator(out)) {
            EXPECT_FALSE(ReadPicture(item.path().string()).isNull()) << item.path();
        }
    }
}

// The 2021.3 player file's streamed DXT5 texture, in a copy of its folder.
TEST_F(TextureCliTest, PngImportIsStoredInlineAndChangesFormatOnlyWhenAsked) {
    for (const char* file : {"resources.assets", "resources.assets.resS"}) {
        std::filesystem::copy_file(modern + "pong_u2021318/" + file, folder.File(file));
    }
    const QImage picture = Gradient(96, 64);
    ASSERT_TRUE(picture.save(QString::fromStdString(folder.File("new.png"))));
    const std::string import = " --asset 3 --data " + At("new.png") + " --as png -o ";
    ASSERT_EQ(Cli("import " + At("resources.assets") + import + At("new.assets")).status, 0)
        << Errors();
    std::filesystem::rename(folder.File("resources.assets.resS"), folder.File("gone"));

    const Bytes saved = ReadBytes(folder.File("new.assets"));
    const std::string resource = "resources.assets.resS";
    EXPECT_EQ(std::search(saved.begin(), saved.end(), resource.begin(), resource.end()),
              saved.end());
    ASSERT_EQ(Cli("export " + At("new.assets") + " --asset 3 --as png -o " + At("back.png")).status,
              0)
        << Errors();
    const QImage back = ReadPicture(folder.File("back.png"));
    ASSERT_EQ(back.size(), picture.size());
    double difference = 0;  // DXT5 keeps a smooth picture to within a few levels
    for (int y = 0; y < back.height(); ++y) {
        for (int x = 0; x < back.width(); ++x) {
            difference += std::abs(qRed(back.pixel(x, y)) - qRed(picture.pixel(x, y))) +
                          std::abs(qGreen(back.pixel(x, y)) - qGreen(picture.pixel(x, y)));
        }
    }
    EXPECT_LT(difference / (back.width() * back.height() * 2), 4.0);
    // The original now misses its resource file and says which.
    EXPECT_EQ(
        Cli("export " + At("resources.assets") + " --asset 3 --as png -o " + At("x.png")).status,
        2);
    EXPECT_NE(Errors().find(resource + ", which is neither beside"), std::string::npos);

    // The saved texture's format field set to BC7 (as large a block as DXT5's, so it still fits
    // its data): there is no encoder for it.
    const std::string name = "EmojiOne";  // the name's text, 4 bytes into the object
    Bytes bc7 = ReadBytes(folder.File("new.assets"));
    const std::size_t format =
        std::search(bc7.begin(), bc7.end(), name.begin(), name.end()) - bc7.begin() + 32;
    ASSERT_EQ(bc7.at(format), 12);
    bc7[format] = 25;
    WriteBytes(folder.File("bc7.assets"), bc7);
    const std::string toBc7 = "import " + At("bc7.assets") + import + At("rgba.assets");
    EXPECT_EQ(Cli(toBc7).status, 2);
    EXPECT_NE(Errors().find("BC7"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("--convert-format"), std::string::npos) << Errors();
    ASSERT_EQ(Cli(toBc7 + " --convert-format").status, 0) << Errors();
    EXPECT_EQ(ReadBytes(folder.File("rgba.assets")).at(format), 4) << "RGBA32";
    ASSERT_EQ(
        Cli("export " + At("rgba.assets") + " --asset 3 --as png -o " + At("rgba.png")).status, 0);
    EXPECT_EQ(ReadPicture(folder.File("rgba.png")), picture);
}

}  // namespace
}  // namespace kestrova::testing
