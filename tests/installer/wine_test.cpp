// The real installer program under Wine: packaged by kestrova-cli with the user's icon, run in
// silent mode on a copy of a game folder and compared byte for byte with `kestrova-cli mod apply`
// on a second copy; undo gives the original files back. Folders and files are named outside
// ASCII, as many games name theirs. The common directory scan as Windows runs it. And a picture
// of its window, on a virtual display, for a person to look at.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "common/directory_scan.h"
#include "common/text.h"
#include "document/bundle/codec.h"
#include "installer/core/installer_command.h"
#include "tests/installer/installer_test_support.h"
#include "tests/installer/pe_builder.h"
#include "tests/installer/wine_support.h"

#ifdef KESTROVA_SCREENSHOT_DIR
#include <QImage>
#endif

namespace kestrova::testing {
namespace {

#if defined(KESTROVA_WINE64) && defined(KESTROVA_INSTALLER_PROGRAM)

class WineTest : public ModTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWinePrefix(KESTROVA_WINE64, KESTROVA_WINE_PREFIX))
            << "wineboot could not make the prefix " << KESTROVA_WINE_PREFIX;
        MakeFolder("installers");
        WriteFile("installers/default", ReadBytes(KESTROVA_INSTALLER_PROGRAM));
    }

    // The texts every test's mod has, with the ones each test chooses.
    void Describe(std::u16string name, std::u16string version, std::u16string description,
                  std::u16string directory) {
        mod.name = std::move(name);
        mod.author = u"Kestrova tests";
        mod.version = std::move(version);
        mod.date = u"2026-12-08";
        mod.description = std::move(description);
        mod.directory = std::move(directory);
    }

    // Packages mod.umod into installer.exe with the test's installer program.
    ProgramRun Package(const std::string& moreArguments = {}) {
        return Cli("mod package '" + folder.File("mod.umod") + "' -o '" +
                   folder.File("installer.exe") + "' --installers '" + folder.File("installers") +
                   "'" + moreArguments);
    }

    // A mod of assets of two real game files, with new bodies, saved as a .umod. The files are
    // named outside ASCII in the game, as the mod names them: in the Basic Multilingual Plane
    // and beyond it. With the later forms, also a format-22 level and an LZ4HC bundle's member.
    void MakeModOfTwoRealFiles(const std::string& realdata) {
        Describe(u"Evil tests, reworked", u"1.2",
                 u"Changes three assets of two files.\nA second line.", u"Games\\EvilTests");
        mod.verifyFile = u"Données\\level0";
        for (const auto& [real, name] :
             {std::pair{"ld24_EvilTestsWin32_level0", "niveau ゲーム"},
              std::pair{"ld24_Ludum_Data_resources.assets", "ressources 𝄞.assets"}}) {
            const Bytes original = ReadBytes(realdata + "/" + real);
            originals[name] = original;
            AssetFile doc;
            doc.workingFolder = Wide("Check");
            ASSERT_TRUE(LoadAssetFile(doc, Utf8ToUtf16(realdata + "/" + real)).ok);
            for (std::uint32_t i : {0u, static_cast<std::uint32_t>(doc.entries.size() - 1)}) {
                Bytes body = *ReadAssetBody(doc, i);
                std::reverse(body.begin(), body.end());
                body.insert(body.end(), i + 1, 0x42);
                Add(Utf8ToUtf16(name), doc.entries[i].name, doc.entries[i].pathId, body);
            }
            CloseAssetFile(doc);
        }
        for (const auto& [real, name] : {std::pair{"modern/pong_u2021318/level0", "niveau 22"},
                                         std::pair{"modern/abtest_u201839/cube.ab", "cube.ab"}}) {
            originals[name] = ReadBytes(realdata + "/" + real);
            LoadedView view = LoadView(Wide(realdata + "/" + real));
            AddChanged(Utf8ToUtf16(name), view);
        }
        ASSERT_TRUE(ravelin::SaveModAs(Wide("mod.umod"), mod, files).ok);
    }

    void MakeGame(const std::string& game) {
        for (const auto& [name, bytes] : originals) {
            WriteFile(game + "/Données/" + name, bytes);
        }
        WriteFile(game + "/Données/level0", ToBytes("the game's own level"));
    }

    ProgramRun Cli(const std::string& arguments) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + arguments + " 2>&1");
    }

#ifdef KESTROVA_XVFB
    // Starts a virtual display whose screen is kept in the folder `screen`; returns its number,
    // empty when it did not start. Xvfb chooses a free display and writes its number into a pipe.
    std::string StartDisplay(BackgroundProgram& display) {
        MakeFolder("screen");
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            return {};
        }
        display.Start({KESTROVA_XVFB, "-displayfd", std::to_string(pipeEnds[1]), "-screen", "0",
                       "800x600x24", "-nolisten", "tcp", "-fbdir", folder.File("screen")},
                      {}, pipeEnds[1]);
        ::close(pipeEnds[1]);
        std::string number;
        char c = 0;
        while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(pipeEnds[0]);
        return number;
    }

    void StopWine() {
        RunProgram(WineEnvironment(KESTROVA_WINE_PREFIX) + "'" + std::string(KESTROVA_WINESERVER) +
                   "' -k 2>&1");
    }
#endif

    WineRun Installer(const std::string& arguments) {
        return RunUnderWine(KESTROVA_WINE64, KESTROVA_WINE_PREFIX,
                            "'" + folder.File("installer.exe") + "' " + arguments,
                            folder.File("stderr"));
    }

    std::map<std::string, Bytes> originals;
};

TEST_F(WineTest, SilentInstallMatchesKestrovaCliAndUndoRestoresTheOriginals) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    if (realdata == nullptr || !std::filesystem::is_directory(realdata)) {
        GTEST_SKIP() << "No real game files (KESTROVA_REALDATA).";
    }
    MakeModOfTwoRealFiles(realdata);
    const std::vector<std::uint32_t> sizes = {16, 32, 48};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 60);
    WriteFile("user.ico", WriteIconFile(IconImages(bitmaps, sizes)));

    ProgramRun packaged = Package(" --icon '" + folder.File("user.ico") + "'");
    ASSERT_EQ(packaged.status, 0) << packaged.out;
    EXPECT_NE(packaged.out.find("3 icon images replaced"), std::string::npos) << packaged.out;

    MakeGame("Jeu ゲーム 𝄞 A");
    MakeGame("Jeu ゲーム 𝄞 B");
    const std::map<std::string, Bytes> untouched = Snapshot("Jeu ゲーム 𝄞 A");
    WineRun installed = Installer("/S '/D=" + WinePath(folder.File("Jeu ゲーム 𝄞 A")) + "'");
    ASSERT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(installed.err, "");
    ProgramRun applied = Cli("mod apply '" + folder.File("installer.exe") + "' --root '" +
                             folder.File("Jeu ゲーム 𝄞 B") + "'");
    ASSERT_EQ(applied.status, 0) << applied.out;

    const std::map<std::string, Bytes> a = Snapshot("Jeu ゲーム 𝄞 A");
    EXPECT_EQ(a, Snapshot("Jeu ゲーム 𝄞 B"));
    for (const auto& [name, bytes] : originals) {
        EXPECT_NE(a.at("Données/" + name), bytes) << name << " did not change";
        EXPECT_EQ(a.at("Données/" + name + ".bak"), bytes);
    }

    WineRun undone = Installer("/S /U '/D=" + WinePath(folder.File("Jeu ゲーム 𝄞 A")) + "'");
    ASSERT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(Snapshot("Jeu ゲーム 𝄞 A"), untouched);

    // Failures: an exit status and one line on standard error; nothing changes.
    WineRun refused = Installer("/S '/D=" + WinePath(folder.File("NoGame")) + "'");
    EXPECT_EQ(refused.status, installer::kInstallError);
    EXPECT_EQ(refused.err.rfind("installer: ", 0), 0u) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    WriteFile("Jeu ゲーム 𝄞 A/Données/level0.txt", ToBytes("x"));
    std::filesystem::remove(folder.File("Jeu ゲーム 𝄞 A/Données/level0"));
    WineRun notTheGame = Installer("/S '/D=" + WinePath(folder.File("Jeu ゲーム 𝄞 A")) + "'");
    EXPECT_EQ(notTheGame.status, installer::kInstallError);
    EXPECT_NE(notTheGame.err.find("level0 is not in it"), std::string::npos) << notTheGame.err;
    EXPECT_EQ(Installer("/S").status, installer::kUsageError);

    WriteFile("empty.exe", ReadBytes(KESTROVA_INSTALLER_PROGRAM));
    WineRun empty =
        RunUnderWine(KESTROVA_WINE64, KESTROVA_WINE_PREFIX,
                     "'" + folder.File("empty.exe") + "' /S '/D=C:\\'", folder.File("stderr"));
    EXPECT_EQ(empty.status, installer::kNoModError);
    EXPECT_NE(empty.err.find("no mod in it"), std::string::npos) << empty.err;
}

TEST_F(WineTest, DirectoryScanListsWhatItListsOnLinuxThroughNamesOutsideAscii) {
    for (const char* name : {"Plugins/a.plg", "Plugins/Données/b.plg", "Plugins/ゲーム/𝄞/c.plg",
                             "Plugins/ゲーム/d.txt", "Plugins/𝄞.plg"}) {
        WriteFile(name, ToBytes("x"));
    }
    StringList here;
    ScanDirectory(here, Wide("Plugins"), u"plg");
    std::vector<std::string> expected;
    for (std::uint32_t i = 0; i < here.count(); ++i) {
        expected.push_back(Utf16ToUtf8(here.at(i)).substr(folder.File("Plugins/").size()));
    }
    const std::string root = WinePath(folder.File("Plugins"));
    const WineRun run = RunUnderWine(
        KESTROVA_WINE64, KESTROVA_WINE_PREFIX,
        "'" + std::string(KESTROVA_SCAN_PROBE) + "' '" + root + "' plg", folder.File("stderr"));
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> listed;
    for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos;
         at = end + 1) {
        std::string path = run.out.substr(at + root.size() + 1, end - at - root.size() - 1);
        std::replace(path.begin(), path.end(), '\\', '/');
        listed.push_back(path);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(listed, expected);
}

// The Windows program's codecs (lz4's and the LZMA SDK's sources, built with MinGW) against
// Debian's liblz4 and liblzma on Linux: each decodes what the other encodes, and a cut block is
// refused.
TEST_F(WineTest, BundleCodecsReadWhatTheLinuxLibrariesWriteAndTheReverse) {
    Bytes mixed;
    std::mt19937 random(5);
    while (mixed.size() < 300000) {
        const std::string text = "m_Name m_GameObject m_Enabled " + std::to_string(random() % 97);
        mixed.insert(mixed.end(), text.begin(), text.end());
        for (int i = random() % 40; i > 0; --i) {
            mixed.push_back(static_cast<std::uint8_t>(random()));
        }
    }
    const std::vector<Bytes> inputs = {Bytes{'x'}, mixed};
    std::string args;
    auto q = [&](const std::string& name) { return " '" + WinePath(folder.File(name)) + "'"; };
    using bundle::Compression;
    const Compression codes[] = {Compression::Lzma, Compression::Lz4, Compression::Lz4hc};
    for (Compression code : codes) {
        const std::string c = std::to_string(static_cast<int>(code));
        for (std::size_t n = 0; n < inputs.size(); ++n) {
            const std::string name = c + "-" + std::to_string(n);
            Bytes encoded;
            ASSERT_TRUE(bundle::EncodeBlock(code, inputs[n], encoded).ok);
            WriteFile("linux-" + name, encoded);
            WriteFile("plain-" + name, inputs[n]);
            args += " decode " + c + " " + std::to_string(inputs[n].size()) + q("linux-" + name) +
                    q("decoded-" + name);
            args += " encode " + c + q("plain-" + name) + q("windows-" + name);
            if (n == 1) {
                encoded.resize(encoded.size() - 7);
                WriteFile("cut-" + name, encoded);
                args += " decode " + c + " " + std::to_string(inputs[n].size()) + q("cut-" + name) +
                        q("refused-" + name);
            }
        }
    }
    const WineRun run =
        RunUnderWine(KESTROVA_WINE64, KESTROVA_WINE_PREFIX,
                     "'" + std::string(KESTROVA_CODEC_PROBE) + "'" + args, folder.File("stderr"));
    EXPECT_EQ(run.status, 1) << run.err << run.out;
    for (Compression code : codes) {
        const std::string c = std::to_string(static_cast<int>(code));
        for (std::size_t n = 0; n < inputs.size(); ++n) {
            const std::string name = c + "-" + std::to_string(n);
            EXPECT_EQ(ReadFile("decoded-" + name), inputs[n]) << name;
            const Bytes windows = ReadFile("windows-" + name);
            bundle::MemorySource source(windows);
            bundle::EncodedBlock block;
            block.compressedSize = windows.size();
            block.uncompressedSize = inputs[n].size();
            block.compression = static_cast<std::uint32_t>(code);
            block.what = u"block";
            bundle::MemoryOutput output;
            bundle::DecodeBuffers buffers;
            Outcome decoded = bundle::DecodeBlock(source, block, output, buffers);
            EXPECT_TRUE(decoded.ok) << name << ": " << Utf16ToUtf8(decoded.message);
            EXPECT_EQ(output.bytes, inputs[n]) << name;
        }
        EXPECT_FALSE(Exists("refused-" + c + "-1")) << c;
        EXPECT_NE(run.out.find(WinePath(folder.File("refused-" + c + "-1")) + ": The block"),
                  std::string::npos)
            << run.out;
    }
}

#ifdef KESTROVA_SCREENSHOT_DIR

// The screen of a virtual display, from the file Xvfb keeps it in (an X window dump: a header of
// big-endian words, the colour map, then 32-bit pixels).
QImage ReadScreen(const std::string& path) {
    const Bytes dump = ReadBytes(path);
    auto word = [&](std::size_t i) {
        return i * 4 + 4 <= dump.size() ? GetBig32(dump, i * 4) : 0u;
    };
    const std::uint32_t headerSize = word(0);
    const int width = static_cast<int>(word(4));
    const int height = static_cast<int>(word(5));
    const std::uint32_t bitsPerPixel = word(11);
    const std::uint32_t stride = word(12);
    const std::uint64_t pixels = std::uint64_t{headerSize} + 12ull * word(19);
    if (bitsPerPixel != 32 || width <= 0 || height <= 0 ||
        pixels + std::uint64_t{stride} * height > dump.size()) {
        return {};
    }
    return QImage(dump.data() + pixels, width, height, static_cast<qsizetype>(stride),
                  QImage::Format_RGB32)
        .copy();
}

TEST_F(WineTest, InstallerWindowOnAVirtualDisplay) {
#ifndef KESTROVA_XVFB
    GTEST_SKIP() << "Xvfb is not installed.";
#else
    Describe(u"Evil tests, reworked", u"1.2",
             u"Gives the crates a new look and the level a brighter sky.\r\n\r\n"
             u"Choose the game's folder and press Install; Uninstall puts the original "
             u"files back.",
             u"Games\\EvilTests");
    mod.verifyFile = u"Data\\level0";
    Add(u"level0", u"Crate", 2, Filled(16, 1));
    ASSERT_TRUE(ravelin::SaveModAs(Wide("mod.umod"), mod, files).ok);
    ProgramRun packaged = Package();
    ASSERT_EQ(packaged.status, 0) << packaged.out;
    BackgroundProgram display;
    const std::string number = StartDisplay(display);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";

    const std::string prefix = std::string("WINEPREFIX=") + KESTROVA_WINE_PREFIX;
    const std::string displayName = "DISPLAY=:" + number;
    BackgroundProgram installer;
    ASSERT_TRUE(installer.Start(
        {KESTROVA_WINE64, "explorer", "/desktop=Installer,800x600",
         WinePath(folder.File("installer.exe")), "/D=" + WinePath(folder.File("Games/EvilTests"))},
        {prefix, displayName, "WINEDEBUG=-all"}));

    // The picture is taken once the window is drawn: many colours, and no change for a while.
    QImage shot;
    QImage previous;
    for (int attempt = 0; attempt < 240; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        QImage screen = ReadScreen(folder.File("screen/Xvfb_screen0"));
        if (screen.isNull()) {
            continue;
        }
        std::vector<QRgb> colours;
        for (int y = 0; y < screen.height(); y += 3) {
            for (int x = 0; x < screen.width() && colours.size() < 64; x += 3) {
                QRgb p = screen.pixel(x, y);
                if (std::find(colours.begin(), colours.end(), p) == colours.end()) {
                    colours.push_back(p);
                }
            }
        }
        if (colours.size() >= 16 && screen == previous) {
            shot = screen;
            break;
        }
        previous = screen;
    }
    StopWine();
    installer.Stop();
    display.Stop();
    ASSERT_FALSE(shot.isNull()) << "the installer's window did not appear";
    std::filesystem::create_directories(KESTROVA_SCREENSHOT_DIR);
    const std::string path = std::string(KESTROVA_SCREENSHOT_DIR) + "/installer.png";
    ASSERT_TRUE(shot.save(QString::fromStdString(path)));
    std::cout << "Screenshot: " << path << "\n";
#endif
}

#endif  // KESTROVA_SCREENSHOT_DIR

// The window, on a virtual display, installing a mod whose every progress report is slowed down
// (KESTROVA_SLOW_PROGRESS_MS), driven by a probe program in the same Wine session: the window
// answers every message while it works and its bar moves, and the folder ends as
// `kestrova-cli mod apply` leaves another copy. Closed while it works, the window stays until the
// installation has stopped at a safe point, and that folder is as it was.
TEST_F(WineTest, InstallerWindowAnswersWhileItInstallsAndClosesOnlyAtASafePoint) {
#ifndef KESTROVA_XVFB
    GTEST_SKIP() << "Xvfb is not installed.";
#else
    Describe(u"Brighter crates", u"2.0", u"Two files, four assets.", u"Games\\WindowTest");
    for (const char* name : {"sharedassets0.assets", "sharedassets1.assets"}) {
        AssetFileBuilder b;
        b.Add("Crate", 28, 1, Filled(300, 1)).Add("Sky", 28, 2, Filled(40, 2));
        originals[name] = b.Build();
        Add(Utf8ToUtf16(name), u"Crate", 1, Filled(300, 7));  // in place
        Add(Utf8ToUtf16(name), u"Sky", 2, Filled(90, 8));     // longer: the file is rewritten
    }
    ASSERT_TRUE(ravelin::SaveModAs(Wide("mod.umod"), mod, files).ok);
    ProgramRun packaged = Package();
    ASSERT_EQ(packaged.status, 0) << packaged.out;
    for (const char* game : {"Window", "Cli", "Closed"}) {
        MakeGame(game);
    }
    const std::map<std::string, Bytes> untouched = Snapshot("Closed");

    BackgroundProgram display;
    const std::string number = StartDisplay(display);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string results = folder.File("probe.txt");
    BackgroundProgram probe;
    ASSERT_TRUE(probe.Start(
        {KESTROVA_WINE64, "explorer", "/desktop=Installer,800x600", WinePath(KESTROVA_WINDOW_PROBE),
         WinePath(results), WinePath(folder.File("installer.exe")), WinePath(folder.File("Window")),
         WinePath(folder.File("Closed"))},
        {std::string("WINEPREFIX=") + KESTROVA_WINE_PREFIX, "DISPLAY=:" + number, "WINEDEBUG=-all",
         "KESTROVA_SLOW_PROGRESS_MS=250"}));
    std::map<std::string, long> seen;
    for (int attempt = 0; attempt < 1200 && !seen.count("done"); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const Bytes text = ReadBytes(results);
        std::istringstream lines(std::string(text.begin(), text.end()));
        std::string name;
        long value = 0;
        while (lines >> name >> value) {
            seen[name] = value;
        }
#ifdef KESTROVA_SCREENSHOT_DIR
        // A picture of the window while it works, for a person to look at.
        if (seen.count("working") && !seen.count("answered") && !seen.count("pictured")) {
            seen["pictured"] = 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            const QImage screen = ReadScreen(folder.File("screen/Xvfb_screen0"));
            std::filesystem::create_directories(KESTROVA_SCREENSHOT_DIR);
            screen.save(QString::fromStdString(std::string(KESTROVA_SCREENSHOT_DIR) +
                                               "/installer_progress.png"));
        }
#endif
    }
    StopWine();
    probe.Stop();
    display.Stop();
    std::string probed;
    for (const auto& [name, value] : seen) {
        probed += name + " " + std::to_string(value) + "; ";
    }
    SCOPED_TRACE("the probe saw: " + probed);
    ASSERT_TRUE(seen.count("done")) << "the probe did not finish";
    EXPECT_GE(seen["answered"], 3);
    EXPECT_EQ(seen["unanswered"], 0);
    EXPECT_GE(seen["positions"], 2);
    EXPECT_EQ(seen["final"], 1000);
    EXPECT_EQ(seen["exit"], 0);
    EXPECT_EQ(seen["stayed"], 1);
    EXPECT_EQ(seen["close-exit"], 0);

    ProgramRun applied =
        Cli("mod apply '" + folder.File("installer.exe") + "' --root '" + folder.File("Cli") + "'");
    ASSERT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(Snapshot("Window"), Snapshot("Cli"));
    EXPECT_EQ(Snapshot("Closed"), untouched);
#endif
}

#else

TEST(WineTest, SilentInstallMatchesKestrovaCliAndUndoRestoresTheOriginals) {
    GTEST_SKIP() << "wine64 or the MinGW-w64 cross compiler is not installed, so the Windows "
                    "installer cannot be built or run.";
}

#endif

}  // namespace
}  // namespace kestrova::testing
