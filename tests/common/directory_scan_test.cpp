#include "common/directory_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "temp_folder.h"

namespace kestrova {
namespace {

using testing::TempFolder;

std::vector<std::u16string> Entries(const StringList& list) {
    std::vector<std::u16string> out;
    for (std::uint32_t i = 0; i < list.count(); ++i) {
        out.push_back(list.at(i));
    }
    return out;
}

TEST(DirectoryScan, TakesExactExtensionOnlyAndOwnEntriesBeforeSubFolders) {
    TempFolder temp;
    for (const char* name : {"a.plg", "b.PLG", "c.plg.bak", "d.txt", ".plg", "plg"}) {
        temp.Write(std::string("Plugins/") + name, "x");
    }
    temp.Write("Plugins/x/e.plg", "x");
    StringList list;
    EXPECT_TRUE(ScanDirectory(list, temp.Wide("Plugins"), u"plg"));
    std::vector<std::u16string> expected = {temp.Wide("Plugins") + u"/a.plg",
                                            temp.Wide("Plugins") + u"/x/e.plg"};
    EXPECT_EQ(Entries(list), expected);
    for (std::uint32_t i = 0; i < list.count(); ++i) {
        EXPECT_EQ(list.tag(i), 0u);
    }
}

TEST(DirectoryScan, EmptyExtensionTakesNamesWithoutOneIncludingFolders) {
    TempFolder temp;
    temp.Write("installers/Basic", "x");
    temp.Write("installers/readme.txt", "x");
    temp.Write("installers/trailing.", "x");
    temp.Write("installers/old/Fancy", "x");
    temp.Write("installers/old/notes.md", "x");
    StringList list;
    ScanDirectory(list, temp.Wide("installers"), u"");
    auto found = Entries(list);
    std::u16string root = temp.Wide("installers");
    // The folder's own entries come first; their order among themselves is the system's.
    ASSERT_EQ(found.size(), 3u);
    std::vector<std::u16string> own(found.begin(), found.begin() + 2);
    std::sort(own.begin(), own.end());
    EXPECT_EQ(own, (std::vector<std::u16string>{root + u"/Basic", root + u"/old"}));
    EXPECT_EQ(found[2], root + u"/old/Fancy");
}

TEST(DirectoryScan, SubFoldersAreVisitedDepthFirst) {
    TempFolder temp;
    temp.Write("r/m.plg", "x");
    temp.Write("r/s/m.plg", "x");
    temp.Write("r/s/t/m.plg", "x");
    StringList list;
    ScanDirectory(list, temp.Wide("r"), u"plg");
    std::u16string r = temp.Wide("r");
    EXPECT_EQ(Entries(list),
              (std::vector<std::u16string>{r + u"/m.plg", r + u"/s/m.plg", r + u"/s/t/m.plg"}));
}

TEST(DirectoryScan, MissingFolderLeavesListAndRepeatedScanAppends) {
    TempFolder temp;
    temp.Write("p/a.plg", "x");
    StringList list;
    Add(list, u"kept", 3, false, false);
    EXPECT_TRUE(ScanDirectory(list, temp.Wide("absent"), u"plg"));
    EXPECT_EQ(list.count(), 1u);
    ScanDirectory(list, temp.Wide("p"), u"plg");
    ScanDirectory(list, temp.Wide("p"), u"plg");
    EXPECT_EQ(Entries(list), (std::vector<std::u16string>{u"kept", temp.Wide("p") + u"/a.plg",
                                                          temp.Wide("p") + u"/a.plg"}));
}

TEST(DirectoryScan, OverlongPathsAreSkipped) {
    TempFolder temp;
    temp.Write("p/a.plg", "x");
    StringList list;
    // A folder name long enough that "folder/a.plg" no longer fits a slot.
    std::u16string longFolder = temp.Wide("p");
    while (longFolder.size() + 6 <= kStringSlotLength) {
        longFolder += u"/.";
    }
    ScanDirectory(list, longFolder, u"plg");
    EXPECT_EQ(list.count(), 0u);
    ScanDirectory(list, longFolder + std::u16string(kStringSlotLength, u'/'), u"plg");
    EXPECT_EQ(list.count(), 0u);
}

TEST(DirectoryScan, LinkedLoopsEnd) {
    // Two links back to the folder itself would make the plain recursion exponential.
    TempFolder temp;
    temp.Write("loop/a.plg", "x");
    std::filesystem::create_directory_symlink(temp.path() / "loop", temp.path() / "loop/one");
    std::filesystem::create_directory_symlink(temp.path() / "loop", temp.path() / "loop/two");
    temp.Write("elsewhere/b.plg", "x");
    std::filesystem::create_directory_symlink(temp.path() / "elsewhere", temp.path() / "loop/ln");
    StringList list;
    ScanDirectory(list, temp.Wide("loop"), u"plg");
    EXPECT_EQ(Entries(list), (std::vector<std::u16string>{temp.Wide("loop") + u"/a.plg",
                                                          temp.Wide("loop") + u"/ln/b.plg"}));
}

}  // namespace
}  // namespace kestrova
