// Package Mod: the packaged program is the template with the user's icons followed by exactly the
// bytes Save Mod writes; every failure leaves no program under the chosen name.

#include "plugins/ravelin/core/mod_package.h"
#include "installer/core/mod_apply.h"
#include "tests/installer/installer_test_support.h"
#include "tests/installer/pe_builder.h"

namespace kestrova::testing {
namespace {

class PackageTest : public ModTest {
protected:
    PackageTest() {
        PeLayout layout;
        layout.relocationsAfterResources = true;
        layout.checksum = true;
        program = BuildPe(layout, icons.root);
        WriteFile("RavelinData/installers/default", program);
    }

    IconTemplate icons;
    Bytes program;
};

TEST_F(PackageTest, PackagedFileIsTheTemplateWithTheUsersIconsFollowedByTheSavedMod) {
    const std::vector<std::uint32_t> sizes = {16, 32, 48};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 11);
    const std::vector<IconImage> images = IconImages(bitmaps, sizes);
    WriteFile("user.ico", WriteIconFile(images));
    mod.name = u"Blue crates";
    mod.iconPath = Wide("user.ico");
    Add(u"b.assets", u"Crate", 7, Bytes(10, 0xB0));
    Add(u"a.assets", ravelin::kUnnamedAsset, 3, Bytes(5, 0xA0));
    Add(u"a.assets", u"Lid", 4, Bytes(8, 0xA1));
    WriteFile("out.exe", ToBytes("an older program"));

    ravelin::IconReplacement report;
    Outcome o = ravelin::PackageInstaller(mod, Wide("RavelinData/installers"), Wide("out.exe"),
                                          files, &report);
    ASSERT_TRUE(o.ok) << Utf16ToUtf8(o.message);
    EXPECT_EQ(report.replaced, 3u);
    // Packaging sorts the entries as saving does, and the same save right after gives the tail.
    EXPECT_EQ(mod.entries[0].fileName, u"a.assets");
    EXPECT_EQ(mod.entries[2].fileName, u"b.assets");
    ASSERT_TRUE(ravelin::SaveModAs(Wide("saved.umod"), mod, files).ok);
    Bytes expected = program;
    ASSERT_TRUE(ReplaceInstallerIcons(expected, images, report).ok);
    const Bytes saved = ReadFile("saved.umod");
    expected.insert(expected.end(), saved.begin(), saved.end());
    EXPECT_EQ(ReadFile("out.exe"), expected);

    installer::ModSource source;
    ASSERT_TRUE(source.Open(Wide("out.exe")).ok);
    EXPECT_TRUE(source.packaged());
    EXPECT_EQ(source.mod(), mod);
    EXPECT_EQ(source.payload().size(), DataFile().size());
    EXPECT_EQ(Listing(), (std::vector<std::string>{"RavelinData", "Temp", "out.exe", "saved.umod",
                                                   "user.ico"}));

    // The data folder's own entry point finds the same template.
    ASSERT_TRUE(ravelin::PackageMod(mod, Wide("RavelinData"), Wide("again.exe"), files).ok);
    EXPECT_EQ(ReadFile("again.exe"), expected);
}

TEST_F(PackageTest, FailuresLeaveNoProgramUnderTheChosenName) {
    Add(u"a.assets", u"Lid", 4, Bytes(8, 0xA1));
    const Bytes old = ToBytes("an older program");
    WriteFile("out.exe", old);
    auto fails = [&](const std::string& mentions) {
        Outcome o = ravelin::PackageMod(mod, Wide("RavelinData"), Wide("out.exe"), files);
        EXPECT_FALSE(o.ok);
        EXPECT_NE(Utf16ToUtf8(o.message).find(mentions), std::string::npos)
            << Utf16ToUtf8(o.message);
        EXPECT_EQ(ReadFile("out.exe"), old);
        EXPECT_EQ(Listing(),
                  (std::vector<std::string>{"RavelinData", "Temp", "bad.ico", "out.exe"}));
    };
    WriteFile("bad.ico", ToBytes("not an icon file at all"));

    mod.installer = u"fancy";
    fails("\"fancy\"");
    mod.installer = u"../installers/default";
    fails("installers/default");
    mod.installer = u"default";
    mod.iconPath = Wide("bad.ico");
    fails("bad.ico");
    // An entry whose data is not in the data file is refused before anything is written.
    mod.iconPath.clear();
    mod.entries[0].length = 4096;
    fails("lies outside");

    EXPECT_FALSE(
        ravelin::PackageMod(mod, Wide("RavelinData"), Wide("no/such/folder/x.exe"), files).ok);
}

TEST_F(PackageTest, TemplatesInSubFoldersAndProgramsWithoutIconsArePackaged) {
    Add(u"a.assets", u"Lid", 4, Bytes(8, 0xA1));
    ResourceDirectory plain;
    const Bytes text = ToBytes("no icons here");
    AddResource(plain, ResourceName::Id(10), ResourceName::Id(1), kUsEnglish, text);
    const Bytes noIcons = BuildPe({}, plain);
    WriteFile("RavelinData/installers/more/plain", noIcons);
    mod.installer = u"plain";
    const std::vector<std::uint32_t> sizes = {16};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 2);
    WriteFile("user.ico", WriteIconFile(IconImages(bitmaps, sizes)));
    mod.iconPath = Wide("user.ico");

    ravelin::IconReplacement report;
    ASSERT_TRUE(ravelin::PackageInstaller(mod, Wide("RavelinData/installers"), Wide("p.exe"), files,
                                          &report)
                    .ok);
    EXPECT_EQ(report.result, ravelin::IconReplacement::Result::NoIconGroup);
    ASSERT_TRUE(ravelin::SaveModAs(Wide("saved.umod"), mod, files).ok);
    Bytes expected = noIcons;
    const Bytes saved = ReadFile("saved.umod");
    expected.insert(expected.end(), saved.begin(), saved.end());
    EXPECT_EQ(ReadFile("p.exe"), expected);

    // An icon file that is not there keeps the template's icons.
    mod.installer = u"default";
    mod.iconPath = Wide("gone.ico");
    ASSERT_TRUE(ravelin::PackageMod(mod, Wide("RavelinData"), Wide("q.exe"), files).ok);
    ASSERT_TRUE(ravelin::SaveModAs(Wide("saved.umod"), mod, files).ok);
    expected = program;
    const Bytes savedAgain = ReadFile("saved.umod");
    expected.insert(expected.end(), savedAgain.begin(), savedAgain.end());
    EXPECT_EQ(ReadFile("q.exe"), expected);
}

}  // namespace
}  // namespace kestrova::testing
