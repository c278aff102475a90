// The installer's command line and silent mode natively, and kestrova-cli's mod package and mod
// apply run as a program: exit statuses, one-line errors, and the same files as the library.

#include "installer/core/installer_command.h"
#include "installer/core/mod_apply.h"
#include "plugins/ravelin/core/mod_package.h"
#include "tests/document/program_run.h"
#include "tests/installer/installer_test_support.h"
#include "tests/installer/pe_builder.h"

namespace kestrova::testing {
namespace {

using installer::ArgumentsOf;
using installer::InstallerCommand;
using installer::ParseInstallerArguments;

TEST(InstallerCommandLine, FolderTakesTheRestOfTheLineAndOptionsAnyCase) {
    EXPECT_EQ(ArgumentsOf(u"\"C:\\Program Files\\setup.exe\"  /S /D=C:\\x"), u"/S /D=C:\\x");
    EXPECT_EQ(ArgumentsOf(u"setup.exe"), u"");

    InstallerCommand c = ParseInstallerArguments(u"/S /D=C:\\Games\\My Game  ");
    EXPECT_TRUE(c.silent);
    EXPECT_FALSE(c.undo);
    EXPECT_EQ(c.folder, u"C:\\Games\\My Game");
    c = ParseInstallerArguments(u"/s /u \"/D=C:\\A B\"");
    EXPECT_TRUE(c.silent && c.undo);
    EXPECT_EQ(c.folder, u"C:\\A B");
    EXPECT_EQ(ParseInstallerArguments(u"/d=\"C:\\A B\"").folder, u"C:\\A B");
    c = ParseInstallerArguments(u"/S /X /D=");
    EXPECT_EQ(c.unknown, (std::vector<std::u16string>{u"/X"}));
    EXPECT_EQ(c.folder, u"");
    EXPECT_FALSE(ParseInstallerArguments(u"").folder.has_value());
}

class SilentTest : public ModTest {
protected:
    SilentTest() {
        AssetFileBuilder b;
        b.Add("Crosshair", 28, 1, Filled(20, 1));
        original = b.Build();
        WriteFile("Game/level0", original);
        Add(u"level0", u"Crosshair", 1, Filled(8, 9));
        IconTemplate icons;
        WriteFile("installers/default", BuildPe({}, icons.root));
    }

    Bytes original;
};

TEST_F(SilentTest, InstallsAndUndoesWithTheStatusesScriptsSee) {
    ASSERT_TRUE(ravelin::PackageInstaller(mod, Wide("installers"), Wide("setup.exe"), files).ok);
    auto run = [&](const std::u16string& arguments) {
        return installer::RunSilently(Wide("setup.exe"), ParseInstallerArguments(arguments));
    };
    installer::SilentResult r = run(u"/S /D=" + Wide("Game"));
    ASSERT_EQ(r.status, installer::kSucceeded) << Utf16ToUtf8(r.message);
    EXPECT_NE(ReadFile("Game/level0"), original);
    r = run(u"/S /U /D=" + Wide("Game"));
    ASSERT_EQ(r.status, installer::kSucceeded);
    EXPECT_EQ(ReadFile("Game/level0"), original);

    EXPECT_EQ(run(u"/S").status, installer::kUsageError);
    EXPECT_EQ(run(u"/S /Q /D=x").status, installer::kUsageError);
    r = run(u"/S /D=" + Wide("Nowhere"));
    EXPECT_EQ(r.status, installer::kInstallError);
    // Several problems come out as one line.
    mod.entries.push_back(mod.entries[0]);
    mod.entries[1].fileName = u"gone.assets";
    ASSERT_TRUE(ravelin::PackageInstaller(mod, Wide("installers"), Wide("setup.exe"), files).ok);
    r = run(u"/S /D=" + Wide("Game"));
    EXPECT_EQ(r.status, installer::kInstallError);
    EXPECT_EQ(r.message.find(u'\n'), std::u16string::npos);
    EXPECT_NE(Utf16ToUtf8(r.message).find("gone.assets is missing"), std::string::npos);
    EXPECT_EQ(ReadFile("Game/level0"), original);

    WriteFile("empty.exe", ReadFile("installers/default"));
    r = installer::RunSilently(Wide("empty.exe"), ParseInstallerArguments(u"/S /D=x"));
    EXPECT_EQ(r.status, installer::kNoModError);
}

TEST_F(SilentTest, KestrovaCliPackagesAndAppliesAsTheLibraryDoes) {
    ASSERT_TRUE(ravelin::SaveModAs(Wide("mod.umod"), mod, files).ok);
    const std::vector<std::uint32_t> sizes = {16, 32};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 3);
    WriteFile("user.ico", WriteIconFile(IconImages(bitmaps, sizes)));
    auto cli = [&](const std::string& arguments) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + arguments + " 2>'" +
                          folder.File("stderr") + "'");
    };
    auto err = [&] {
        Bytes bytes = ReadFile("stderr");
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string q = "'" + folder.File("");
    ProgramRun run = cli("mod package " + q + "mod.umod' -o " + q + "cli.exe' --installers " + q +
                         "installers' --icon " + q + "user.ico'");
    ASSERT_EQ(run.status, 0) << err();
    mod.iconPath = Wide("user.ico");
    ASSERT_TRUE(ravelin::PackageInstaller(mod, Wide("installers"), Wide("lib.exe"), files).ok);
    EXPECT_EQ(ReadFile("cli.exe"), ReadFile("lib.exe"));

    run = cli("mod apply " + q + "cli.exe' --root " + q + "Game'");
    ASSERT_EQ(run.status, 0) << err();
    EXPECT_NE(run.out.find("changed "), std::string::npos);
    EXPECT_NE(ReadFile("Game/level0"), original);
    ASSERT_EQ(cli("mod apply " + q + "mod.umod' --root " + q + "Game' --undo").status, 0);
    EXPECT_EQ(ReadFile("Game/level0"), original);

    for (const std::string& failing :
         {"mod apply " + q + "mod.umod' --root " + q + "Nowhere'",
          "mod package " + q + "mod.umod' -o " + q + "x.exe' --installers " + q +
              "installers' --installer nope",
          "mod apply " + q + "user.ico' --root " + q + "Game'"}) {
        run = cli(failing);
        EXPECT_EQ(run.status, 2) << failing;
        const std::string e = err();
        EXPECT_EQ(e.rfind("kestrova-cli: ", 0), 0u) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e;
    }
    EXPECT_FALSE(Exists("x.exe"));
    EXPECT_EQ(ReadFile("Game/level0"), original);
}

}  // namespace
}  // namespace kestrova::testing
