// The form's decisions without a window: the hand-over, templates and installers, the "..."
// rules, the list of entries and every button through scripted dialogs.

#include <stop_token>

#include "plugins/ravelin/core/mod_form_layout.h"
#include "plugins/ravelin/core/mod_session.h"
#include "tests/ravelin/mod_test_support.h"
#include "tests/ravelin/scripted_services.h"

namespace kestrova::testing {
namespace {

using ravelin::ModField;
using ravelin::ModSession;

// Runs a work at once as a window's runner would, stopping it at its `stopAt`-th progress
// report (never for 0).
class StoppingRunner : public ravelin::WorkRunner {
public:
    void Run(std::u16string_view, ravelin::ModWork work,
             std::function<void(const Outcome&)> done) override {
        ++runs;
        int reports = 0;
        std::stop_source stop;
        const ProgressCallback progress = [&](std::u16string_view, float) {
            if (++reports == stopAt) {
                stop.request_stop();
            }
        };
        done(work(progress, stop.get_token()));
    }
    int stopAt = 0;
    int runs = 0;
};

class ModSessionTest : public RavelinTest {
protected:
    ModSessionTest() : session(files, Wide("RavelinData")) { MakeFolder("RavelinData/installers"); }

    // A hand-over as the editor makes it in the "Ravelin" mode.
    void HandOver(const std::u16string& file, const std::u16string& name, std::int32_t type,
                  const std::u16string& pathId, const Bytes& body) {
        session.BeginForm(body.data(), static_cast<std::int32_t>(body.size()), true);
        session.RecordImport(file.c_str(), &type, pathId.c_str());
        session.RecordImport(name.c_str(), &type, pathId.c_str());
    }
    void Installers(std::initializer_list<std::string> names) {
        for (const std::string& name : names) {
            Write("RavelinData/installers/" + name, "MZ");
        }
    }
    void Templates(const std::string& xml) { Write("RavelinData/modtemplates.xml", xml); }

    ModSession session;
    ScriptedServices ui;
};

TEST_F(ModSessionTest, TheFirstThreeImportCallsAfterAHandOverAreRecorded) {
    std::int32_t type = -5;
    session.BeginForm(nullptr, 0, true);
    session.AddFile(ui);
    ASSERT_EQ(session.mod().entries.size(), 1u);
    EXPECT_EQ(session.mod().entries[0].fileName, u"");
    EXPECT_EQ(session.mod().entries[0].assetName, u"");
    EXPECT_EQ(session.mod().entries[0].type, 0u);

    Bytes body = {1, 2, 3};
    HandOver(u"level0", u"Crosshair", type, u"-3", body);
    EXPECT_EQ(session.pending().pathId, 0xFFFFFFFDu) << "a negative path id comes back as itself";
    session.RecordImport(u"CAB-2a1f", &type, u"-5717498367417880155");  // a later form's asset
    session.RecordImport(u"fourth", &type, u"99");
    EXPECT_EQ(session.pending().fileName, u"level0");
    EXPECT_EQ(session.pending().assetName, u"Crosshair");
    EXPECT_EQ(session.pending().type, 0xFFFFFFFBu);
    EXPECT_EQ(session.pending().member, u"CAB-2a1f");
    EXPECT_EQ(session.pending().pathId, -5717498367417880155);
    EXPECT_EQ(session.pending().importCalls, 4u);
    EXPECT_EQ(session.pending().payload, body);

    // A new hand-over forgets the last asset's description.
    session.BeginForm(body.data(), 3, false);
    EXPECT_EQ(session.pending().fileName, u"");
    EXPECT_EQ(session.pending().importCalls, 0u);
}

TEST_F(ModSessionTest, TemplatesFillTheBoxAndChoosingOneSetsFolderVerifyFileAndInstaller) {
    Installers({"default", "Fancy", "basic", "x.exe", "sub/Nested"});
    Templates(
        "<?xml version=\"1.0\"?>\n<modtemplate>\n"
        "\t<template name=\"EvilTests\" directory=\"Games/EvilTests/EvilTests_Data\" "
        "verifyfile=\"mainData\" installer=\"Fancy\"/>\n"
        "\t<TEMPLATE DIRECTORY=\"Other\" installer=\"Missing\"/>\n"
        "\t<template name=\"NoDirectory\" installer=\"Nested\"/>\n"
        "</modtemplate>\n");
    HandOver(u"a.assets", u"x", 1, u"1", {});
    // Sorted like the box sorts, the sub-folder itself being a name without extension.
    EXPECT_EQ(session.InstallerItems(),
              (std::vector<std::u16string>{u"basic", u"default", u"Fancy", u"Nested", u"sub"}));
    EXPECT_EQ(session.InstallerSelection(), 1u) << "the mod's installer \"default\"";
    EXPECT_EQ(session.TemplateItems(),
              (std::vector<std::u16string>{u"EvilTests", u"not set", u"NoDirectory"}));
    EXPECT_EQ(session.TemplateSelection(), 0u);
    EXPECT_EQ(session.mod().directory, u"not set") << "showing a template does not apply it";

    session.ChooseTemplate(0);
    EXPECT_EQ(session.mod().directory, u"Games/EvilTests/EvilTests_Data");
    EXPECT_EQ(session.mod().verifyFile, u"mainData");
    EXPECT_EQ(session.mod().installer, u"Fancy");
    EXPECT_EQ(session.InstallerSelection(), 2u);
    session.ChooseTemplate(1);
    EXPECT_EQ(session.mod().directory, u"Other");
    EXPECT_EQ(session.mod().verifyFile, u"not set");
    EXPECT_EQ(session.mod().installer, u"Fancy") << "an unlisted installer changes nothing";
    session.ChooseTemplate(2);
    EXPECT_EQ(session.mod().directory, u"not set");
    EXPECT_EQ(session.mod().installer, u"Nested");

    // A new form shows the same template and the mod's installer, applying nothing.
    session.EditField(ModField::Directory, u"typed");
    session.EndForm();
    HandOver(u"a.assets", u"y", 1, u"2", {});
    EXPECT_EQ(session.TemplateSelection(), 2u);
    EXPECT_EQ(session.InstallerSelection(), 3u);
    EXPECT_EQ(session.mod().directory, u"typed");

    // Without a match the box shows the position of the last match.
    session.ChooseInstaller(0);
    EXPECT_EQ(session.mod().installer, u"basic");
    session.mod().installer = u"gone";
    session.EndForm();
    HandOver(u"a.assets", u"y", 1, u"2", {});
    EXPECT_EQ(session.InstallerSelection(), 0u);
}

TEST_F(ModSessionTest, WithoutDataTheBoxesAreEmpty) {
    Templates("<?xml version=\"1.0\"?>\n<templates>\n\t<template name=\"A\"/>\n</templates>\n");
    HandOver(u"a.assets", u"x", 1, u"1", {});
    EXPECT_TRUE(session.TemplateItems().empty()) << "another root element";
    EXPECT_FALSE(session.TemplateSelection());
    EXPECT_TRUE(session.InstallerItems().empty());
    EXPECT_FALSE(session.InstallerSelection());
    ModSession nowhere(files, Wide("none"));
    nowhere.BeginForm(nullptr, 0, true);
    EXPECT_TRUE(nowhere.TemplateItems().empty());
}

TEST_F(ModSessionTest, FolderButtonsKeepThePathAfterItsFirstSeparator) {
    EXPECT_EQ(ravelin::DirectoryFromFolder(u"/home/u/Games/X/Data"), u"home/u/Games/X/Data");
    EXPECT_EQ(ravelin::DirectoryFromFolder(u"D:\\Games\\X\\Data"), u"Games\\X\\Data");
    EXPECT_FALSE(ravelin::DirectoryFromFolder(u"/"));
    EXPECT_FALSE(ravelin::DirectoryFromFolder(u"C:\\"));

    const std::u16string dir = u"Games\\X\\Data";
    EXPECT_EQ(ravelin::VerifyFileFromPath(u"E:\\Games\\X\\Data\\sub\\check.dat", dir),
              u"sub\\check.dat");
    EXPECT_FALSE(ravelin::VerifyFileFromPath(u"E:\\games\\X\\Data\\check.dat", dir));
    EXPECT_FALSE(ravelin::VerifyFileFromPath(u"E:\\Games\\X\\DataOther\\f", dir));
    EXPECT_FALSE(ravelin::VerifyFileFromPath(u"E:\\Games\\X\\Data\\", dir));
    EXPECT_FALSE(ravelin::VerifyFileFromPath(u"E:\\Other\\check.dat", dir));

    ui.folders = {std::nullopt, u"/", u"/home/u/Games/X/Data"};
    ui.files = {u"/home/u/Games/X/Data/mainData", u"/etc/passwd", u"/icons/m.ico"};
    session.BrowseDirectory(ui);
    session.BrowseDirectory(ui);
    EXPECT_EQ(session.mod().directory, u"not set");
    session.BrowseDirectory(ui);
    EXPECT_EQ(session.mod().directory, u"home/u/Games/X/Data");
    session.BrowseVerifyFile(ui);
    session.BrowseVerifyFile(ui);
    EXPECT_EQ(session.mod().verifyFile, u"mainData");
    session.BrowseIcon(ui);
    EXPECT_EQ(session.mod().iconPath, u"/icons/m.ico");
    EXPECT_EQ(ui.folderTitles[0], u"Select Assets Directory");
    ASSERT_EQ(ui.fileRequests.size(), 3u);
    EXPECT_EQ(ui.fileRequests[0].title, u"Select Verification File");
    EXPECT_EQ(ui.fileRequests[0].filters[0].description, u"All Files (*.*)");
    EXPECT_EQ(ui.fileRequests[2].title, u"Open Icon File");
    EXPECT_EQ(ui.fileRequests[2].filters[0].description, u"Windows Icon File (*.ico)");
    EXPECT_EQ(ui.fileRequests[2].filters[1].pattern, u"*.*");
}

TEST_F(ModSessionTest, TheListIsSortedByTextAndRemovingTakesTheSelectedItemsEntry) {
    HandOver(u"b.assets", u"x", 28, u"1", {1});
    session.AddFile(ui);
    HandOver(u"a.assets", u"y", 28, u"2", {2, 2});
    session.AddFile(ui);
    HandOver(u"A.assets", u"z", 28, u"-1", {3});
    session.AddFile(ui);
    session.AddFile(ui);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].caption, u"Unable to load asset into mod.");
    EXPECT_EQ(ui.warnings[0].text, u"Asset already exists in mod.");

    std::vector<ravelin::EntryListItem> items = session.EntryList();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, u"a.assets/y (2)");
    EXPECT_EQ(items[1].text, u"A.assets/z (-1)") << "letter case counts last";
    EXPECT_EQ(items[2].text, u"b.assets/x (1)");
    EXPECT_EQ(items[2].entry, 0u);

    session.SelectEntry(items[2].entry);
    session.RemoveFile(ui);
    ASSERT_EQ(session.mod().entries.size(), 2u);
    EXPECT_EQ(session.mod().entries[0].fileName, u"a.assets");
    EXPECT_EQ(DataFile(),
              (Bytes{1, 0, 0, 0, 'y', 0, 0, 0, 2, 2, 0, 0, 1, 0, 0, 0, 'z', 0, 0, 0, 3, 0, 0, 0}));
    // A refresh leaves nothing selected, so a second press removes nothing.
    session.SelectEntry(0);
    session.Refreshed();
    session.RemoveFile(ui);
    EXPECT_EQ(session.mod().entries.size(), 2u);
}

TEST_F(ModSessionTest, SaveOpenAndPackageGoThroughTheirDialogsAndReportFailures) {
    HandOver(u"a.assets", u"x", 28, u"1", {1, 2, 3, 4});
    session.AddFile(ui);
    session.EditField(ModField::Name, std::u16string(300, u'N'));
    session.EditField(ModField::Description, u"line\r\nline");
    EXPECT_EQ(session.mod().name.size(), 127u);

    ui.files = {std::nullopt, Wide("m.umod"), Wide("damaged.umod"), Wide("m.umod"),
                Wide("out.exe")};
    session.SaveModFile(ui, ui);  // cancelled
    EXPECT_FALSE(Exists("m.umod"));
    session.SaveModFile(ui, ui);
    ASSERT_TRUE(Exists("m.umod"));
    EXPECT_EQ(ui.fileRequests[1].title, u"Save Mod File");
    EXPECT_TRUE(ui.fileRequests[1].save);
    EXPECT_EQ(ui.fileRequests[1].filters[0].description, u"Unity Mod File (*.umod)");
    ravelin::ModRecord saved = session.mod();

    WriteFile("damaged.umod", {1, 0, 0, 0, 9, 9, 9, 9});
    session.EditField(ModField::Author, u"changed");
    session.OpenModFile(ui, ui);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].caption, u"Open Mod File");
    EXPECT_EQ(session.mod().author, u"changed") << "a damaged file changes nothing";
    EXPECT_EQ(session.mod().entries.size(), 1u);

    session.OpenModFile(ui, ui);
    EXPECT_EQ(session.mod(), saved);
    EXPECT_EQ(ui.fileRequests[3].title, u"Open Mod File");

    session.PackageModFile(ui, ui);
    ASSERT_EQ(ui.warnings.size(), 2u);
    EXPECT_EQ(ui.warnings[1].caption, u"Package Mod");
    EXPECT_EQ(ui.fileRequests[4].filters[0].description, u"Unity Mod Installer (*.exe)");
    EXPECT_FALSE(Exists("out.exe"));
}

// A mod with enough data goes through the runner; stopped at its first or second report, Save,
// Open and Package leave the mod, its data file and the chosen files as they were and warn of
// nothing. Not stopped, the runner's Save writes what the direct one writes.
TEST_F(ModSessionTest, LargeModsCopyThroughTheRunnerAndAStopChangesNothing) {
    Installers({"default"});
    Bytes body(2 * ModSession::kBackgroundBytes + 5);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<std::uint8_t>(i * 13);
    }
    HandOver(u"b.assets", u"y", 28, u"2", {1, 2});
    session.AddFile(ui);
    HandOver(u"a.assets", u"x", 28, u"1", body);
    session.AddFile(ui);
    session.ChooseInstaller(0);
    ui.files = {Wide("reference.umod")};
    session.SaveModFile(ui, ui);
    ASSERT_TRUE(Exists("reference.umod"));
    session.EditField(ModField::Author, u"changed");
    const ravelin::ModRecord before = session.mod();
    const Bytes data = DataFile();

    StoppingRunner runner;
    const auto files = [&] {
        return std::distance(std::filesystem::recursive_directory_iterator(folder.path()),
                             std::filesystem::recursive_directory_iterator());
    };
    const auto filesBefore = files();
    for (const int stopAt : {1, 2}) {
        runner.stopAt = stopAt;
        ui.files = {Wide("m.umod"), Wide("reference.umod"), Wide("out.exe")};
        session.SaveModFile(ui, ui, &runner);
        session.OpenModFile(ui, ui, &runner);
        session.PackageModFile(ui, ui, &runner);
        EXPECT_EQ(runner.runs, 3 * stopAt);
        EXPECT_TRUE(ui.warnings.empty());
        EXPECT_EQ(session.mod(), before);
        EXPECT_EQ(DataFile(), data);
        EXPECT_EQ(files(), filesBefore);
    }

    runner.stopAt = 0;
    ui.files = {Wide("m.umod"), Wide("direct.umod"), Wide("out.exe")};
    session.SaveModFile(ui, ui, &runner);
    session.SaveModFile(ui, ui);
    EXPECT_EQ(ReadFile("m.umod"), ReadFile("direct.umod"));
    session.PackageModFile(ui, ui, &runner);
    EXPECT_TRUE(Exists("out.exe"));
    EXPECT_TRUE(ui.warnings.empty());
}

TEST(ModFormLayoutTest, PlacesFollowTheFormSize) {
    auto places = ravelin::LayOutModForm(601, 701);
    auto at = [&](int id) {
        for (const auto& p : places) {
            if (p.id == id) {
                return p;
            }
        }
        return ravelin::ControlPlace{};
    };
    auto tuple = [](const ravelin::ControlPlace& p) {
        return std::make_tuple(p.x, p.y, p.width, p.height);
    };
    EXPECT_EQ(tuple(at(ravelin::kVersionEdit)), std::make_tuple(308, 56, 284, 24));
    EXPECT_EQ(tuple(at(ravelin::kDescriptionEdit)), std::make_tuple(8, 224, 585, 190));
    EXPECT_EQ(tuple(at(ravelin::kRemoveButton)), std::make_tuple(450, 414, 142, 24));
    EXPECT_EQ(tuple(at(ravelin::kFilesList)), std::make_tuple(8, 438, 585, 174));
    EXPECT_EQ(tuple(at(ravelin::kPackageButton)), std::make_tuple(400, 669, 192, 24));
    EXPECT_EQ(tuple(at(ravelin::kInstallerBox)), std::make_tuple(116, 613, 477, 100));
}

}  // namespace
}  // namespace kestrova::testing
