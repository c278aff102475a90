// Installing a mod into a game folder and taking it out: the files after installing against files
// built independently with the new bodies, bundles and the real game files read back by the
// loader, the checks that refuse a folder without changing it, and undo.

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "document/asset_file.h"
#include "installer/core/install_journal.h"
#include "installer/core/mod_apply.h"
#include "tests/bundle/bundle_builder.h"
#include "tests/document/program_run.h"
#include "tests/document/serialized_file_builder.h"
#include "tests/installer/installer_test_support.h"

namespace kestrova::testing {
namespace {

class ApplyTest : public ModTest {
protected:
    void Game(const std::string& relative, const Bytes& bytes) {
        WriteFile("Game/" + relative, bytes);
    }

    Outcome Install() {
        report = {};
        payload = DataFile();
        return installer::InstallMod(mod, payload, Wide("Game"), &report);
    }
    Outcome Uninstall() { return installer::UninstallMod(mod, Wide("Game")); }

    // The bodies of every asset of a file, read back by the loader.
    std::vector<Bytes> Bodies(const std::string& relative) {
        AssetFile doc;
        doc.workingFolder = Wide("Check");
        Outcome o = LoadAssetFile(doc, Wide(relative));
        EXPECT_TRUE(o.ok) << relative << ": " << Utf16ToUtf8(o.message);
        std::vector<Bytes> bodies;
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            bodies.push_back(ReadAssetBody(doc, i).value_or(Bytes{0xEE}));
        }
        CloseAssetFile(doc);
        return bodies;
    }

    // A file of one asset, "Crosshair" with path id 1.
    static Bytes CrosshairFile() {
        AssetFileBuilder b;
        b.Add("Crosshair", 28, 1, Filled(20, 1));
        return b.Build();
    }

    Bytes payload;
    installer::ApplyReport report;
};

TEST_F(ApplyTest, InstallGivesTheAssetsTheModsBodiesAndUndoRestoresTheFile) {
    AssetFileBuilder before;
    before.Align(1)
        .Add("Crosshair", 28, 1, Filled(20, 1))
        .Add("", 83, 2, Filled(9, 3))
        .Add("boing", 83, 3, Filled(30, 2));
    const Bytes original = before.Build();
    Game("Data/level0", original);
    Add(u"level0", ravelin::kUnnamedAsset, 2, Filled(13, 50));
    Add(u"level0", u"boing", 3, Filled(6, 70));

    ASSERT_TRUE(Install().ok);
    AssetFileBuilder after;
    after.Align(1)
        .Add("Crosshair", 28, 1, Filled(20, 1))
        .Add("", 83, 2, Padded(Filled(13, 50)))
        .Add("boing", 83, 3, Padded(Filled(6, 70)));
    EXPECT_EQ(ReadFile("Game/Data/level0"), after.Build());
    EXPECT_EQ(ReadFile("Game/Data/level0.bak"), original);
    EXPECT_EQ(Listing("Game"), (std::vector<std::string>{"Data"}));
    EXPECT_EQ(report.changedFiles, (std::vector<std::u16string>{Wide("Game/Data/level0")}));
    EXPECT_EQ(report.newBackups, (std::vector<std::u16string>{Wide("Game/Data/level0.bak")}));

    ASSERT_TRUE(Uninstall().ok);
    EXPECT_EQ(ReadFile("Game/Data/level0"), original);
    EXPECT_EQ(Listing("Game/Data"), (std::vector<std::string>{"level0"}));
    EXPECT_FALSE(Uninstall().ok);  // nothing left to restore
}

TEST_F(ApplyTest, BundlesKeepTheirOtherFilesAndSizes) {
    AssetFileBuilder b;
    b.Add("Crosshair", 28, 1, Filled(20, 1)).Add("", 83, 2, Filled(9, 3));
    const Bytes original = WrapInBundle(b.Build(), 3, {{"extra", {7, 7, 7, 7, 7}}});
    Game("level1.unity3d", original);
    Add(u"level1.unity3d", u"Crosshair", 1, Filled(41, 9));

    ASSERT_TRUE(Install().ok);
    std::vector<Bytes> bodies = Bodies("Game/level1.unity3d");
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0], Padded(Filled(41, 9)));
    EXPECT_EQ(bodies[1], Filled(9, 3));
    AssetFile doc;
    doc.workingFolder = Wide("Check");
    ASSERT_TRUE(LoadAssetFile(doc, Wide("Game/level1.unity3d")).ok);
    const BundleDirectoryEntry extra = doc.bundle.directory.at(1);
    const Bytes bytes = ReadFile("Game/level1.unity3d");
    EXPECT_EQ(Bytes(bytes.begin() + doc.bundle.headerSize + extra.offset,
                    bytes.begin() + doc.bundle.headerSize + extra.offset + extra.size),
              Bytes(5, 7));
    CloseAssetFile(doc);

    ASSERT_TRUE(Uninstall().ok);
    EXPECT_EQ(ReadFile("Game/level1.unity3d"), original);
}

TEST_F(ApplyTest, RealGameFilesTakeTheModAndComeBackByteForByte) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    if (realdata == nullptr || !std::filesystem::is_directory(realdata)) {
        GTEST_SKIP() << "No real game files (KESTROVA_REALDATA).";
    }
    // Every real file, and one of them wrapped in a bundle.
    std::map<std::string, Bytes> originals;
    for (const auto& e : std::filesystem::directory_iterator(realdata)) {
        if (e.is_regular_file() && e.path().extension() != ".md") {
            originals["Data/" + e.path().filename().string()] = ReadBytes(e.path().string());
        }
    }
    originals["Data/Bundles/resources.unity3d"] =
        WrapInBundle(originals.at("Data/ld24_Ludum_Data_resources.assets"), 2);
    std::map<std::string, std::vector<Bytes>> expected;
    for (const auto& [relative, bytes] : originals) {
        Game(relative, bytes);
        AssetFile doc;
        doc.workingFolder = Wide("Check");
        ASSERT_TRUE(LoadAssetFile(doc, Wide("Game/" + relative)).ok) << relative;
        std::vector<Bytes>& bodies = expected[relative];
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            bodies.push_back(*ReadAssetBody(doc, i));
        }
        // The first, the largest and the last asset change: longer, reversed, shorter.
        const auto largest = std::max_element(
            doc.entries.begin(), doc.entries.end(),
            [](const AssetEntry& a, const AssetEntry& b) { return a.size < b.size; });
        const std::size_t chosen[] = {0, static_cast<std::size_t>(largest - doc.entries.begin()),
                                      doc.entries.size() - 1};
        const std::u16string fileName = Utf8ToUtf16(relative.substr(relative.rfind('/') + 1));
        for (std::size_t n = 0; n < 3; ++n) {
            const std::size_t i = chosen[n];
            if (n > 0 && (i == chosen[0] || (n == 2 && i == chosen[1]))) {
                continue;
            }
            Bytes body = bodies[i];
            if (n == 0) {
                body.insert(body.end(), {1, 2, 3, 4, 5});
            } else if (n == 1) {
                std::reverse(body.begin(), body.end());
            } else {
                body.resize(body.size() / 2);
            }
            Add(fileName, doc.entries[i].name, doc.entries[i].pathId, body);
            bodies[i] = Padded(body);
        }
        CloseAssetFile(doc);
    }

    Outcome o = Install();
    ASSERT_TRUE(o.ok) << Utf16ToUtf8(o.message);
    EXPECT_EQ(report.changedFiles.size(), originals.size());
    for (const auto& [relative, bodies] : expected) {
        EXPECT_EQ(Bodies("Game/" + relative), bodies) << relative;
        EXPECT_EQ(ReadFile("Game/" + relative + ".bak"), originals[relative]);
    }
    ASSERT_TRUE(Uninstall().ok);
    for (const auto& [relative, bytes] : originals) {
        EXPECT_EQ(ReadFile("Game/" + relative), bytes) << relative;
        EXPECT_FALSE(Exists("Game/" + relative + ".bak"));
    }
}

TEST_F(ApplyTest, LaterFormsAndBundleMembersTakeTheModAndComeBackByteForByte) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    const std::string modern = std::string(realdata == nullptr ? "" : realdata) + "/modern/";
    if (realdata == nullptr || !std::filesystem::is_directory(modern)) {
        GTEST_SKIP() << "No real game files (KESTROVA_REALDATA).";
    }
    // A format-22 file, an LZ4HC and an LZMA bundle, each with an asset changed.
    std::map<std::string, LoadedView> expected;
    for (std::string file :
         {"pong_u2021318/level0", "abtest_u201839/cube.ab", "abtest_u201710/cubewall.unity3d"}) {
        const std::string name = file.substr(file.find('/') + 1);
        Game(name, ReadBytes(modern + file));
        AddChanged(Utf8ToUtf16(name), expected[name] = LoadView(Wide("Game/" + name)));
    }
    const std::map<std::string, Bytes> originals = Snapshot("Game");
    ASSERT_TRUE(Install().ok);
    for (const auto& [name, view] : expected) {
        EXPECT_EQ(LoadView(Wide("Game/" + name)), view) << name;
    }
    ASSERT_TRUE(Uninstall().ok);
    EXPECT_EQ(Snapshot("Game"), originals);

    // A member the bundle does not hold stops the whole installation, naming the members it has.
    mod.entries[1].member = u"CAB-0";
    const std::string message = Utf16ToUtf8(Install().message);
    EXPECT_NE(message.find("cube.ab holds no serialized file CAB-0 (it holds " +
                           expected["cube.ab"].member),
              std::string::npos)
        << message;
    EXPECT_EQ(Snapshot("Game"), originals);
}

TEST_F(ApplyTest, ChecksNameEverythingThatIsMissingAndChangeNothing) {
    AssetFileBuilder b;
    b.Add("Crosshair", 28, 1, Filled(20, 1)).Add("", 83, 2, Filled(9, 3));
    Game("Data/level0", b.Build());
    Game("Data/broken.assets", ToBytes("not an asset file"));
    Game("Data/game.dll", ToBytes("MZ"));
    Add(u"level0", u"Crosshair", 99, Filled(4, 1));
    Add(u"broken.assets", u"Lid", 1, Filled(4, 1));
    Add(u"gone.assets", u"Lid", 1, Filled(4, 1));
    Add(u"../level0", u"Crosshair", 1, Filled(4, 1));
    Add(u"level0", u"Crosshair", 1, Filled(4, 1));
    Add(u"level0", u"Far", 2, Filled(4, 1));
    mod.entries.back().pathId = -5717498367417880155;
    Add(u"data.unity3d", u"Hero", 3, Filled(4, 1));
    mod.entries.back().member = u"CAB-5f3c";
    const std::map<std::string, Bytes> before = Snapshot("Game");

    Outcome o = Install();
    ASSERT_FALSE(o.ok);
    const std::string message = Utf16ToUtf8(o.message);
    for (const char* part : {"holds no asset with path id 99", "broken.assets is not an asset file",
                             "gone.assets is missing",
                             "../level0 / Crosshair (path id 1): the "
                             "file name is not a plain file name",
                             "holds no asset with path id -5717498367417880155",
                             "data.unity3d is missing (needed for data.unity3d / CAB-5f3c / "
                             "Hero (path id 3))",
                             "Nothing was changed."}) {
        EXPECT_NE(message.find(part), std::string::npos) << part << " in: " << message;
    }
    // Six problems, one line each; the one good entry is not among them.
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 7) << message;
    EXPECT_EQ(Snapshot("Game"), before);

    // The verify file decides whether the folder is the game's.
    mod.entries.resize(1);
    mod.entries[0].pathId = 1;
    mod.verifyFile = u"Data\\game.dll";
    ASSERT_TRUE(Install().ok);
    ASSERT_TRUE(Uninstall().ok);
    mod.verifyFile = u"Data\\missing.dll";
    o = Install();
    EXPECT_NE(Utf16ToUtf8(o.message).find("missing.dll is not in it"), std::string::npos);
    EXPECT_FALSE(Uninstall().ok);
    EXPECT_EQ(Snapshot("Game"), before);
    EXPECT_FALSE(installer::InstallMod(mod, payload, Wide("NoSuchGame")).ok);
    // Data the payload does not hold is named too.
    mod.verifyFile.clear();
    o = installer::InstallMod(mod, std::span(payload).first(4), Wide("Game"));
    EXPECT_NE(Utf16ToUtf8(o.message).find("lies outside the mod"), std::string::npos);
    EXPECT_EQ(Snapshot("Game"), before);
}

TEST_F(ApplyTest, ASecondInstallKeepsTheFirstBackup) {
    const Bytes original = CrosshairFile();
    Game("level0", original);
    Add(u"level0", u"Crosshair", 1, Filled(8, 1));
    ASSERT_TRUE(Install().ok);
    const Bytes first = ReadFile("Game/level0");
    ASSERT_TRUE(RemoveEntry(mod, 0, files).ok);
    Add(u"level0", u"Crosshair", 1, Filled(12, 2));
    ASSERT_TRUE(Install().ok);
    EXPECT_TRUE(report.newBackups.empty());
    EXPECT_NE(ReadFile("Game/level0"), first);
    EXPECT_EQ(ReadFile("Game/level0.bak"), original);
    ASSERT_TRUE(Uninstall().ok);
    EXPECT_EQ(ReadFile("Game/level0"), original);
}

TEST_F(ApplyTest, FilesAreFoundBelowTheFolderShallowestFirstInAnyCase) {
    const Bytes original = CrosshairFile();
    Game("Deep/Er/level0", original);
    Game("Z/LEVEL0", original);
    Add(u"level0", u"Crosshair", 1, Filled(8, 1));
    ASSERT_TRUE(Install().ok);
    EXPECT_EQ(Bodies("Game/Z/LEVEL0").at(0), Filled(8, 1));
    EXPECT_EQ(ReadFile("Game/Deep/Er/level0"), original);
}

TEST_F(ApplyTest, AFileThatCannotBeReplacedPutsEveryOriginalBack) {
    Game("a.assets", CrosshairFile());
    Game("b.assets", CrosshairFile());
    // b.assets has a backup already, and the place its original would step aside to is taken.
    Game("b.assets.bak", ToBytes("the first original"));
    Game("b.assets.kestrova-old/blocker", ToBytes("x"));
    Add(u"a.assets", u"Crosshair", 1, Filled(8, 1));
    Add(u"b.assets", u"Crosshair", 1, Filled(8, 2));
    const std::map<std::string, Bytes> before = Snapshot("Game");
    Outcome o = Install();
    EXPECT_FALSE(o.ok);
    EXPECT_NE(Utf16ToUtf8(o.message).find("b.assets"), std::string::npos);
    EXPECT_EQ(Snapshot("Game"), before);

    // The place is taken only once a.assets has stepped aside to its new backup.
    std::filesystem::remove_all(folder.File("Game/b.assets.kestrova-old"));
    auto block = [&](std::u16string_view step) {
        if (step == u"original set aside") {
            Game("b.assets.kestrova-old/blocker", ToBytes("x"));
        }
    };
    o = installer::InstallMod(mod, payload, Wide("Game"), nullptr, {{}, nullptr, block});
    EXPECT_NE(Utf16ToUtf8(o.message).find("Cannot replace"), std::string::npos);
    EXPECT_EQ(Snapshot("Game"), before);
}

// The fraction never goes back and ends full; a long copy moves it as it goes (a file of three
// chunks reports twice while it is copied).
TEST_F(ApplyTest, ProgressOnlyGrowsAndEndsFull) {
    AssetFileBuilder big;
    big.Add("Sky", 28, 1, Filled(2 * kProgressChunk + 64, 1))
        .Add("Crosshair", 28, 2, Filled(20, 1));
    Game("Data/level0", big.Build());
    Game("Data/level1", CrosshairFile());
    Add(u"level0", u"Crosshair", 2, Filled(40, 9));
    Add(u"level1", u"Crosshair", 1, Filled(20, 5));
    std::vector<std::pair<std::u16string, float>> reports;
    installer::ApplyControl control;
    control.progress = [&](std::u16string_view text, float fraction) {
        reports.emplace_back(text, fraction);
    };
    payload = DataFile();
    ASSERT_TRUE(installer::InstallMod(mod, payload, Wide("Game"), &report, control).ok);
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].second, reports[i - 1].second) << Utf16ToUtf8(reports[i].first);
    }
    EXPECT_EQ(reports.back().second, 1.0f);
    auto during = [&](std::u16string_view text) {
        return std::count_if(reports.begin(), reports.end(), [&](const auto& r) {
            return r.first.starts_with(text) && r.second > 0.0f && r.second < 1.0f;
        });
    };
    EXPECT_GE(during(u"Checking " + Wide("Game/Data/level0")), 2);
    EXPECT_GE(during(u"Changing "), 2);
    EXPECT_GE(during(u"Writing the changed files to the disk"), 2);
}

// A cancellation seen at any report stops the installation at its next safe point; the folder
// is then exactly as it was, with nothing of the run left in it. Only a cancellation at the last
// report, after the last safe point, lets the installation complete.
TEST_F(ApplyTest, ACancellationAtAnyPointChangesNothing) {
    Game("Data/a.assets", CrosshairFile());
    Game("Data/Sub/b.assets", CrosshairFile());
    Add(u"a.assets", u"Crosshair", 1, Filled(40, 1));
    Add(u"b.assets", u"Crosshair", 1, Filled(20, 2));
    const std::map<std::string, Bytes> before = Snapshot("Game");
    payload = DataFile();
    int cancelled = 0;
    for (int at = 1;; ++at) {
        std::atomic<bool> cancel = false;
        int reports = 0;
        installer::ApplyControl control{
            [&](std::u16string_view, float) { cancel = cancel || ++reports == at; }, &cancel, {}};
        report = {};
        const Outcome o = installer::InstallMod(mod, payload, Wide("Game"), &report, control);
        if (!report.cancelled) {
            ASSERT_TRUE(o.ok) << Utf16ToUtf8(o.message);
            EXPECT_EQ(at, reports) << "completed although cancelled before its last report";
            break;
        }
        ++cancelled;
        EXPECT_EQ(o.message, installer::kInstallCancelled);
        EXPECT_EQ(Snapshot("Game"), before) << "cancelled at report " << at;
    }
    EXPECT_GT(cancelled, 6);
    EXPECT_NE(Snapshot("Game"), before);
}

// A cancel that comes while a large bundle is compressed again stops the compression at its next
// report instead of after the whole bundle; the folder is as it was.
TEST_F(ApplyTest, ACancelStopsABundlesCompression) {
    SerializedFileBuilder builder(17);
    builder.Trees(true);
    Bytes named = builder.Name("Crosshair");
    named.resize(named.size() + 4, 7);
    builder.AddObject(1, builder.AddType(49, NamedTree("TextAsset")), named);
    const Bytes member = builder.Build();
    const Bytes resource = AssetLikeData(std::size_t{20} << 20, 4);
    Bytes stream = member;
    stream.insert(stream.end(), resource.begin(), resource.end());
    FsShape shape;
    shape.blockCompressions = {2, 2, 2, 2, 2};
    shape.nodes = {{0, member.size(), 4, "CAB-a"}, {member.size(), resource.size(), 0, "CAB-a.resS"}};
    Game("data.unity3d", BuildUnityFs(shape, stream));
    named.back() = 8;
    Add(u"data.unity3d", u"Crosshair", 1, named);
    mod.entries.back().member = u"CAB-a";
    const std::map<std::string, Bytes> before = Snapshot("Game");

    std::atomic<bool> cancel = false;
    int changing = 0;
    int afterCancel = 0;
    installer::ApplyControl control{[&](std::u16string_view text, float) {
                                        afterCancel += cancel ? 1 : 0;
                                        // The asset is changed at the second; the bundle's
                                        // compression reports from the third on.
                                        cancel = cancel || (text.starts_with(u"Changing ") &&
                                                            ++changing == 3);
                                    },
                                    &cancel, {}};
    payload = DataFile();
    const Outcome o = installer::InstallMod(mod, payload, Wide("Game"), &report, control);
    EXPECT_EQ(o.message, installer::kInstallCancelled);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(changing, 3);
    EXPECT_LE(afterCancel, 1);
    EXPECT_EQ(Snapshot("Game"), before);
}

// kestrova-cli killed right after each change an installation makes on disk: the next run,
// installing or undoing, first finishes or undoes the stopped one, and the folder ends exactly as
// after runs that were never stopped, with nothing of the stopped one left in it.
TEST_F(ApplyTest, AnInstallationKilledAtAnyStepIsFinishedOrUndoneByTheNextRun) {
    // Two files in two folders; the second has a backup, so its original steps aside and goes.
    const std::map<std::string, Bytes> game = {{"Data/a.assets", CrosshairFile()},
                                               {"Data/Sub/b.assets", CrosshairFile()},
                                               {"Data/Sub/b.assets.bak", ToBytes("first")}};
    auto reset = [&] {
        std::filesystem::remove_all(folder.File("Game"));
        for (const auto& [relative, bytes] : game) {
            Game(relative, bytes);
        }
    };
    Add(u"a.assets", u"Crosshair", 1, Filled(40, 1));
    Add(u"b.assets", u"Crosshair", 1, Filled(3, 2));
    ASSERT_TRUE(ravelin::SaveModAs(Wide("mod.umod"), mod, files).ok);
    auto cli = [&](const std::string& environment, const std::string& game,
                   const std::string& undo = "") {
        return RunProgram(environment + " '" + KESTROVA_CLI + "' mod apply '" +
                          folder.File("mod.umod") + "' --root '" + folder.File(game) + "'" + undo +
                          " 2>&1");
    };
    reset();
    ASSERT_EQ(cli("", "Game").status, 0);
    const std::map<std::string, Bytes> installed = Snapshot("Game");
    ASSERT_EQ(cli("", "Game", " --undo").status, 0);
    const std::map<std::string, Bytes> undone = Snapshot("Game");
    int step = 1;
    for (;; ++step) {
        reset();
        const ProgramRun stopped = cli("KESTROVA_STOP_AFTER_STEP=" + std::to_string(step), "Game");
        if (stopped.status == 0) {
            break;  // the installation has fewer steps
        }
        ASSERT_NE(stopped.out.find("stopped after step"), std::string::npos) << stopped.out;
        std::filesystem::remove_all(folder.File("Copy"));
        std::filesystem::copy(folder.File("Game"), folder.File("Copy"),
                              std::filesystem::copy_options::recursive);
        ProgramRun next = cli("", "Game");
        ASSERT_EQ(next.status, 0) << "stopped after step " << step << ": " << next.out;
        EXPECT_EQ(Snapshot("Game"), installed) << "installing after step " << step;
        next = cli("", "Copy", " --undo");
        ASSERT_EQ(next.status, 0) << "stopped after step " << step << ": " << next.out;
        EXPECT_EQ(Snapshot("Copy"), undone) << "undoing after step " << step;
    }
    EXPECT_GT(step, 16);
}

// The journal names files inside the game folder only; one that leads out is refused unread.
TEST_F(ApplyTest, AJournalThatLeadsOutOfTheGameFolderIsRefused) {
    Game("Data/level0", CrosshairFile());
    WriteFile("outside.bak", ToBytes("not the game's"));
    const installer::InstallJournal forged{installer::InstallPhase::kRollingBack,
                                           {{u"Data/../../outside", 0, true}}};
    WriteBytes(Utf16ToUtf8(installer::JournalPath(Wide("Game"))), installer::EncodeJournal(forged));
    Add(u"level0", u"Crosshair", 1, Filled(8, 1));
    const std::map<std::string, Bytes> before = Snapshot("Game");
    const Outcome o = Install();
    EXPECT_NE(Utf16ToUtf8(o.message).find("leads out of its folder"), std::string::npos)
        << Utf16ToUtf8(o.message);
    EXPECT_FALSE(Uninstall().ok);
    EXPECT_EQ(Snapshot("Game"), before);
    EXPECT_TRUE(Exists("outside.bak"));
}

TEST_F(ApplyTest, ModsAreReadFromModFilesAndRefusedFromEmptyInstallers) {
    Add(u"level0", u"Crosshair", 1, Filled(8, 1));
    ASSERT_TRUE(ravelin::SaveModAs(Wide("a.umod"), mod, files).ok);
    installer::ModSource source;
    ASSERT_TRUE(source.Open(Wide("a.umod")).ok);
    EXPECT_FALSE(source.packaged());
    EXPECT_EQ(source.mod(), mod);
    EXPECT_EQ(source.payload().size(), 24u);  // the name prefix and the body

    // A program with nothing after it.
    Bytes program(0x400, 0);
    program[0] = 'M';
    program[1] = 'Z';
    program[0x3C] = 0x40;
    const Bytes header = {'P', 'E', 0, 0, 0x64, 0x86, 0, 0,    0, 0, 0, 0,    0,
                          0,   0,   0, 0, 0,    0,    0, 0xF0, 0, 0, 0, 0x0B, 0x02};
    std::copy(header.begin(), header.end(), program.begin() + 0x40);
    program[0x40 + 24 + 32 + 1] = 0x10;  // section alignment 0x1000
    program[0x40 + 24 + 36 + 1] = 0x02;  // file alignment 0x200
    program[0x40 + 24 + 60 + 1] = 0x04;  // headers of 0x400 bytes
    WriteFile("empty.exe", program);
    installer::ModSource empty;
    Outcome o = empty.Open(Wide("empty.exe"));
    EXPECT_NE(Utf16ToUtf8(o.message).find("no mod in it"), std::string::npos)
        << Utf16ToUtf8(o.message);
    WriteFile("junk", ToBytes("junk"));
    installer::ModSource junk;
    EXPECT_FALSE(junk.Open(Wide("junk")).ok);
    EXPECT_FALSE(junk.Open(Wide("missing")).ok);
}

}  // namespace
}  // namespace kestrova::testing
