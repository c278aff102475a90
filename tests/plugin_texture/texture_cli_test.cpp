// kestrova-cli run as a program on the later engines' real textures: every Texture2D of the
// files and bundle members exports as PNG (streamed ones from their resource files), a PNG
// imported into a streamed texture is stored inline and reads back without the resource file,
// a format without an encoder changes only when asked, and broken stream references are
// refused with their reason.

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/document/program_run.h"
#include "tests/plugin_texture/real_texture_test.h"

namespace kestrova::testing {
namespace {

class TextureCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string real = RealDataFolder();
        if (real.empty()) {
            GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
        }
        modern = real + "/modern/";
    }
    ProgramRun Cli(const std::string& args) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + args + " 2>" + folder.File("stderr"));
    }
    std::string Errors() const { return folder.Read("stderr"); }
    // Copies the named files of one sample folder into the temporary folder.
    void CopySample(const std::string& sample, std::initializer_list<const char*> files) {
        for (const char* file : files) {
            std::filesystem::copy_file(modern + sample + "/" + file, folder.File(file));
            std::filesystem::permissions(folder.File(file), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
    }
    static std::string Quoted(const std::string& path) { return "'" + path + "'"; }

    TempFolder folder;
    std::string modern;
};

QImage ReadPicture(const std::string& path) {
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGBA8888);
}

// The mean absolute difference of two pictures' colour channels (alpha left out: a format
// without alpha reads back opaque).
double MeanColourDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        for (int x = 0; x < a.width() * 4; ++x) {
            sum += x % 4 == 3 ? 0 : std::abs(p[x] - q[x]);
        }
    }
    return sum / (a.width() * a.height() * 3.0);
}

// A smooth picture of its own size, unlike any texture it is imported into.
QImage Gradient(int width, int height) {
    QImage picture(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height, 128, 255));
        }
    }
    return picture;
}

// The object of the texture named `name` in `file`: where its name field begins.
std::size_t ObjectOf(const Bytes& file, const std::string& name) {
    Bytes field = {static_cast<std::uint8_t>(name.size()), 0, 0, 0};
    field.insert(field.end(), name.begin(), name.end());
    return static_cast<std::size_t>(
        std::search(file.begin(), file.end(), field.begin(), field.end()) - file.begin());
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
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member);
        const std::string out = folder.File("out" + std::to_string(index++));
        const std::string member = *c.member ? std::string(" --member ") + c.member : "";
        const ProgramRun run = Cli("export " + Quoted(modern + c.file) + member +
                                   " --all --type Texture2D --as png -d " + Quoted(out));
        EXPECT_EQ(run.status, c.skipped == 0 ? 0 : 2) << Errors();
        EXPECT_NE(run.out.find("Wrote " + std::to_string(c.written) + " of " +
                               std::to_string(c.written + c.skipped)),
                  std::string::npos)
            << run.out;
        if (c.skipped > 0) {
            EXPECT_NE(Errors().find("holds no image"), std::string::npos) << Errors();
        }
        int pictures = 0;
        for (const auto& item : std::filesystem::directory_iterator(out)) {
            const QImage picture = ReadPicture(item.path().string());
            EXPECT_FALSE(picture.isNull()) << item.path();
            ++pictures;
        }
        EXPECT_EQ(pictures, c.written);
    }
}

TEST_F(TextureCliTest, PngImportedIntoAStreamedTextureIsStoredInline) {
    struct Case {
        const char* sample;
        const char* file;
        const char* asset;
        int width, height;
    };
    const Case cases[] = {
        {"pong_u2021318", "resources.assets", "3", 96, 64},
        {"bombguys_u2018435", "sharedassets1.assets", "1", 200, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        const std::string resource = std::string(c.file) + ".resS";
        CopySample(c.sample, {c.file, resource.c_str()});
        const QImage picture = Gradient(c.width, c.height);
        ASSERT_TRUE(picture.save(QString::fromStdString(folder.File("new.png"))));
        const std::string saved = folder.File(std::string("new-") + c.file);
        ProgramRun run =
            Cli("import " + Quoted(folder.File(c.file)) + " --asset " + c.asset + " --data " +
                Quoted(folder.File("new.png")) + " --as png -o " + Quoted(saved));
        ASSERT_EQ(run.status, 0) << Errors();
        std::filesystem::remove(folder.File(resource));

        const Bytes written = ReadBytes(saved);
        EXPECT_EQ(std::search(written.begin(), written.end(), resource.begin(), resource.end()),
                  written.end())
            << "the saved file still names " << resource;
        run = Cli("export " + Quoted(saved) + " --asset " + c.asset + " --as png -o " +
                  Quoted(folder.File("back.png")));
        ASSERT_EQ(run.status, 0) << Errors();
        const QImage back = ReadPicture(folder.File("back.png"));
        ASSERT_EQ(back.size(), picture.size());
        EXPECT_LT(MeanColourDifference(back, picture), 4.0);
        // The original now misses its resource file and says so.
        EXPECT_EQ(Cli("export " + Quoted(folder.File(c.file)) + " --asset " + c.asset +
                      " --as png -o " + Quoted(folder.File("old.png")))
                      .status,
                  2);
        EXPECT_NE(Errors().find(resource + ", which is neither beside"), std::string::npos)
            << Errors();
    }
}

TEST_F(TextureCliTest, FormatWithoutEncoderChangesOnlyWhenAsked) {
    CopySample("pong_u2021318", {"resources.assets", "resources.assets.resS"});
    // Its DXT5 blocks are as large as BC7's: the texture read as BC7 still fits its data.
    Bytes file = ReadBytes(folder.File("resources.assets"));
    const std::size_t format = ObjectOf(file, "EmojiOne") + 12 + 24;
    ASSERT_LT(format + 4, file.size());
    ASSERT_EQ(file[format], 12);
    file[format] = 25;
    WriteBytes(folder.File("resources.assets"), file);
    ASSERT_TRUE(Gradient(40, 30).save(QString::fromStdString(folder.File("new.png"))));
    const std::string import = "import " + Quoted(folder.File("resources.assets")) +
                               " --asset 3 --data " + Quoted(folder.File("new.png")) +
                               " --as png -o " + Quoted(folder.File("out.assets"));

    EXPECT_EQ(Cli(import).status, 2);
    EXPECT_NE(Errors().find("BC7"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("--convert-format"), std::string::npos) << Errors();
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.assets")));

    ASSERT_EQ(Cli(import + " --convert-format").status, 0) << Errors();
    const Bytes converted = ReadBytes(folder.File("out.assets"));
    EXPECT_EQ(converted[ObjectOf(converted, "EmojiOne") + 12 + 24], 4) << "RGBA32";
    ASSERT_EQ(Cli("export " + Quoted(folder.File("out.assets")) + " --asset 3 --as png -o " +
                  Quoted(folder.File("back.png")))
                  .status,
              0)
        << Errors();
    EXPECT_EQ(ReadPicture(folder.File("back.png")), Gradient(40, 30));
}

TEST_F(TextureCliTest, BrokenStreamReferencesAreRefusedWithTheirReason) {
    CopySample("pong_u2021318", {"resources.assets", "resources.assets.resS"});
    const Bytes file = ReadBytes(folder.File("resources.assets"));
    const std::size_t stream = ObjectOf(file, "EmojiOne") + 12 + 88;  // offset, size, path
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        std::uintmax_t resourceLength;
        const char* message;
    };
    const std::uintmax_t whole = std::filesystem::file_size(folder.File("resources.assets.resS"));
    const Case cases[] = {
        {"resource file cut short", 0, 0, whole / 2, "outside that file"},
        {"offset past the end", stream, 64, whole, "outside that file"},
        {"offset near 2^64", stream + 4, 0xFFFFFFFF, whole, "outside that file"},
        {"size unlike the fields'", stream + 8, 1000, whole, "need 349552"},
        {"a path that is not there", stream + 16 + 17, 0x656E6F67, whole,
         "resources.assets.gone, which is neither beside"},
        {"a zero byte in the path", stream + 16, 0, whole, "zero byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes damaged = file;
        if (c.at != 0) {
            for (int i = 0; i < 4; ++i) {
                damaged[c.at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
            }
        }
        WriteBytes(folder.File("damaged.assets"), damaged);
        std::filesystem::resize_file(folder.File("resources.assets.resS"), c.resourceLength);
        std::filesystem::copy_file(folder.File("resources.assets.resS"),
                                   folder.File("damaged.assets.resS"),
                                   std::filesystem::copy_options::overwrite_existing);
        const ProgramRun run = Cli("export " + Quoted(folder.File("damaged.assets")) +
                                   " --asset 3 --as png -o " + Quoted(folder.File("x.png")));
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(Errors().find(c.message), std::string::npos) << Errors();
    }
}

}  // namespace
}  // namespace kestrova::testing
