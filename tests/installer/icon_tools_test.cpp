// Icon replacement on real programs built by the MinGW-w64 compilers (32 and 64 bits, resources
// last or followed by relocations), checked with an independent reader: icoutils' wrestool lists
// and extracts the resources, icotool turns the icon group back into pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "installer/core/mod_apply.h"
#include "plugins/ravelin/core/mod_session.h"
#include "tests/document/program_run.h"
#include "tests/installer/installer_test_support.h"
#include "tests/installer/pe_builder.h"
#include "tests/ravelin/scripted_services.h"

namespace kestrova::testing {
namespace {

#if defined(KESTROVA_WRESTOOL) && defined(KESTROVA_ICOTOOL)

std::vector<std::string> Programs() {
    std::vector<std::string> programs;
#ifdef KESTROVA_ICON_PROGRAM_PE32
    programs.push_back(KESTROVA_ICON_PROGRAM_PE32);
#endif
#ifdef KESTROVA_ICON_PROGRAM_PE32PLUS
    programs.push_back(KESTROVA_ICON_PROGRAM_PE32PLUS);
#endif
#ifdef KESTROVA_ICON_PROGRAM_PE32PLUS_LAST
    programs.push_back(KESTROVA_ICON_PROGRAM_PE32PLUS_LAST);
#endif
#ifdef KESTROVA_INSTALLER_PROGRAM
    programs.push_back(KESTROVA_INSTALLER_PROGRAM);  // the installer template itself
#endif
    return programs;
}

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

// The resources wrestool lists, as "--type=T --name=N --language=L".
std::set<std::string> Listed(const std::string& program) {
    ProgramRun run = RunProgram(std::string(KESTROVA_WRESTOOL) + " -l " + Quote(program) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    std::set<std::string> names;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        names.insert(line.substr(0, line.find(" [")));
    }
    return names;
}

// One resource's bytes, extracted by wrestool.
Bytes Raw(const TempFolder& folder, const std::string& program, const std::string& resource) {
    const std::string out = folder.File("raw");
    std::filesystem::remove(out);
    ProgramRun run = RunProgram(std::string(KESTROVA_WRESTOOL) + " -x --raw " + resource + " -o " +
                                Quote(out) + " " + Quote(program) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    return ReadBytes(out);
}

// The pictures of an icon file, in its order, as icotool extracts them.
std::vector<Bytes> Pictures(const TempFolder& folder, const std::string& icon) {
    const std::string dir = folder.File("pictures");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    ProgramRun run = RunProgram(std::string(KESTROVA_ICOTOOL) + " -x -o " + Quote(dir) + " " +
                                Quote(icon) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "") << "icotool complained";
    // Named NAME_INDEX_WxHxD.png; the index orders them.
    std::vector<std::pair<int, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        std::string index = name.substr(name.find('_') + 1);
        files.emplace_back(std::stoi(index), entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<Bytes> pictures;
    for (const auto& [index, path] : files) {
        pictures.push_back(ReadBytes(path));
    }
    return pictures;
}

// The icon group 102 of a program as an icon file, then as pictures.
std::vector<Bytes> GroupPictures(const TempFolder& folder, const std::string& program) {
    const std::string icon = folder.File("group.ico");
    ProgramRun run = RunProgram(std::string(KESTROVA_WRESTOOL) + " -x --type=14 --name=102 -o " +
                                Quote(icon) + " " + Quote(program) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "") << "wrestool found the group and its images disagree";
    return Pictures(folder, icon);
}

TEST(IconTools, IcotoolExtractsTheUsersIconsFromEveryKindOfProgram) {
    const std::vector<std::string> programs = Programs();
    if (programs.empty()) {
        GTEST_SKIP() << "No MinGW-w64 compiler was found to build the test programs.";
    }
    const std::vector<std::vector<std::uint32_t>> iconSets = {
        {16, 32, 48},          // the template's layout
        {48},                  // fewer images than the group
        {16, 32, 48, 64, 24},  // more images than the group
        {64, 128, 256},        // larger images
        {8, 12, 8},            // smaller images
    };
    TempFolder folder;
    for (const std::string& path : programs) {
        const Bytes original = ReadBytes(path);
        const std::string templateCopy = folder.File("template.exe");
        WriteBytes(templateCopy, original);
        const std::set<std::string> resources = Listed(templateCopy);
        const std::vector<Bytes> templatePictures = GroupPictures(folder, templateCopy);
        ASSERT_EQ(templatePictures.size(), 3u) << path;
        for (std::size_t set = 0; set < iconSets.size(); ++set) {
            SCOPED_TRACE(path + ", icon set " + std::to_string(set));
            const std::vector<std::uint32_t>& sizes = iconSets[set];
            const std::vector<Bytes> bitmaps = IconBitmaps(sizes, static_cast<std::uint8_t>(set));
            const std::vector<IconImage> images = IconImages(bitmaps, sizes);
            const std::string userIcon = folder.File("user.ico");
            WriteBytes(userIcon, WriteIconFile(images));

            Bytes program = original;
            IconReplacement report;
            ASSERT_TRUE(ReplaceInstallerIcons(program, images, report).ok);
            const std::size_t replaced = std::min<std::size_t>(3, sizes.size());
            ASSERT_EQ(report.replaced, replaced);
            const std::string packaged = folder.File("packaged.exe");
            WriteBytes(packaged, program);

            ASSERT_EQ(Listed(packaged), resources);
            for (const std::string& resource : resources) {
                bool icon = false;
                for (std::size_t id = 1; id <= replaced; ++id) {
                    icon = icon ||
                           resource.rfind("--type=3 --name=" + std::to_string(id) + " ", 0) == 0;
                }
                if (!icon && resource.rfind("--type=14 ", 0) != 0) {
                    EXPECT_EQ(Raw(folder, packaged, resource), Raw(folder, templateCopy, resource))
                        << resource;
                }
            }
            for (std::size_t id = 1; id <= replaced; ++id) {
                EXPECT_EQ(Raw(folder, packaged,
                              "--type=3 --name=" + std::to_string(id) + " --language=1033"),
                          bitmaps[id - 1]);
            }
            const std::vector<Bytes> userPictures = Pictures(folder, userIcon);
            const std::vector<Bytes> pictures = GroupPictures(folder, packaged);
            ASSERT_EQ(pictures.size(), 3u);
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(pictures[k], k < replaced ? userPictures[k] : templatePictures[k]) << k;
            }
        }
    }
}

// "Package Mod" in the form, on the installer template of the run folder: icotool extracts the
// user's icons from what it writes, and a failure is shown, with nothing written.
TEST_F(ModTest, PackageModInTheFormWritesTheUsersIcons) {
#ifndef KESTROVA_INSTALLER_PROGRAM
    GTEST_SKIP() << "The installer template program was not built (no MinGW-w64 compiler).";
#else
    WriteFile("RavelinData/installers/default", ReadBytes(KESTROVA_INSTALLER_PROGRAM));
    const std::vector<std::uint32_t> sizes = {16, 32, 48};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 90);
    WriteFile("user.ico", WriteIconFile(IconImages(bitmaps, sizes)));
    ravelin::ModSession session(files, Wide("RavelinData"));
    const Bytes body = Filled(10, 4);
    const std::int32_t type = 28;
    session.BeginForm(body.data(), static_cast<std::int32_t>(body.size()), true);
    session.RecordImport(u"sharedassets0.assets", &type, u"7");
    session.RecordImport(u"Crosshair", &type, u"7");
    ScriptedServices services;
    session.AddFile(services);
    session.EditField(ravelin::ModField::IconPath, Wide("user.ico"));

    services.files.push_back(Wide("Blue crates.exe"));
    session.PackageModFile(services, services);
    ASSERT_TRUE(services.warnings.empty()) << Utf16ToUtf8(services.warnings[0].text);
    const std::vector<Bytes> pictures = GroupPictures(folder, folder.File("Blue crates.exe"));
    EXPECT_EQ(pictures, Pictures(folder, folder.File("user.ico")));
    installer::ModSource source;
    ASSERT_TRUE(source.Open(Wide("Blue crates.exe")).ok);
    EXPECT_EQ(source.mod(), session.mod());

    session.mod().installer = u"fancy";
    services.files.push_back(Wide("fancy.exe"));
    session.PackageModFile(services, services);
    ASSERT_EQ(services.warnings.size(), 1u);
    EXPECT_EQ(services.warnings[0].caption, u"Package Mod");
    EXPECT_FALSE(Exists("fancy.exe"));
#endif
}

#else

TEST(IconTools, IcotoolExtractsTheUsersIconsFromEveryKindOfProgram) {
    GTEST_SKIP() << "wrestool and icotool (Debian's icoutils) are not installed.";
}

#endif

}  // namespace
}  // namespace kestrova::testing
