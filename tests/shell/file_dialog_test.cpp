#include "editor/shell/file_dialog.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "common/number_text.h"
#include "shell_test_hosts.h"

namespace kestrova {
namespace {

TEST(FileDialog, FilterListCapacityCountsTheTerminators) {
    FileDialog dialog;
    // One pair of 1000 + 1 + 1000 + 1 characters plus the list's terminator: 2003.
    ASSERT_TRUE(dialog.AddFilter(std::u16string(1000, u'd'), std::u16string(1000, u'p')));
    // 2003 + (22 + 1 + 22 + 1) = 2049 is one too many; 2048 fills the list exactly.
    EXPECT_FALSE(dialog.AddFilter(std::u16string(22, u'd'), std::u16string(22, u'p')));
    EXPECT_TRUE(dialog.AddFilter(std::u16string(21, u'd'), std::u16string(22, u'p')));
    EXPECT_FALSE(dialog.AddFilter(u"", u""));
    dialog.ClearFilters();
    EXPECT_TRUE(dialog.AddFilter(u"", u""));
    EXPECT_EQ(dialog.filters.size(), 1u);
}

TEST(FileDialog, ChoiceSetsFolderExtensionAndCarriesTheFilterToTheNextDialog) {
    ScriptedChooser chooser;
    FileDialog dialog;
    dialog.AddFilter(u"Unity Asset File (*.assets)", u"*.assets");
    dialog.AddFilter(u"All Files (*.*)", u"*.*");
    std::u16string folder = u"/start/";

    chooser.Next(u"/games/my.game/level0", 2);
    auto path = dialog.ShowOpenDialog(chooser, folder, u" ", u"Open Asset File");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, u"/games/my.game/level0");
    EXPECT_EQ(folder, u"/games/my.game/");
    EXPECT_EQ(dialog.extensionOffset, 0u);  // the dot belongs to the folder
    EXPECT_EQ(dialog.chosenFilterIndex, 2u);
    const FileChooserRequest& open = chooser.requests.back();
    EXPECT_FALSE(open.save);
    EXPECT_EQ(open.title, u"Open Asset File");
    EXPECT_EQ(open.initialFolder, u"/start/");
    EXPECT_EQ(open.initialName, u" ");
    EXPECT_EQ(open.filterIndex, 1u);
    EXPECT_EQ(open.filters.size(), 2u);

    chooser.Next(u"C:\\mods\\out.assets", 1);
    path = dialog.ShowSaveDialog(chooser, folder, u"level0", u"Save Asset File", u"");
    ASSERT_TRUE(path);
    EXPECT_TRUE(chooser.requests.back().save);
    EXPECT_EQ(chooser.requests.back().filterIndex, 2u);  // carried from the open dialog
    EXPECT_EQ(chooser.requests.back().initialFolder, u"/games/my.game/");
    EXPECT_EQ(folder, u"C:\\mods\\");
    EXPECT_EQ(dialog.extensionOffset, 12u);
    EXPECT_EQ(path->substr(dialog.extensionOffset), u"assets");

    // Cancel changes nothing.
    EXPECT_FALSE(dialog.ShowOpenDialog(chooser, folder, u" ", u"Open Asset File"));
    EXPECT_EQ(folder, u"C:\\mods\\");
    EXPECT_EQ(dialog.chosenFilterIndex, 1u);
}

TEST(FileDialog, PathHelpers) {
    EXPECT_EQ(FileNameStart(u"name"), 0u);
    EXPECT_EQ(FileNameStart(u"/a/b\\c"), 5u);
    EXPECT_EQ(ExtensionOffset(u"/a.b/c"), 0u);
    EXPECT_EQ(ExtensionOffset(u"/a/c.tar.gz"), 9u);
    EXPECT_EQ(ExtensionOffset(u"trailing."), 9u);
    EXPECT_EQ(ExtensionOffset(u""), 0u);
}

TEST(NumberText, DialogUnsignedAcceptsOnlyADecimalNumber) {
    EXPECT_EQ(ReadDialogUnsigned(u""), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"100"), 100u);
    EXPECT_EQ(ReadDialogUnsigned(u"  \t42"), 42u);
    EXPECT_EQ(ReadDialogUnsigned(u"42 "), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"4x"), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"-1"), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"0x10"), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"4294967295"), 4294967295u);
    EXPECT_EQ(ReadDialogUnsigned(u"4294967296"), 0u);
    EXPECT_EQ(ReadDialogUnsigned(u"99999999999999999999999"), 0u);
}

TEST(NumberText, TypeNumberReadsLikeTheCLibraryWithBaseZero) {
    EXPECT_EQ(ReadTypeNumber(u"114"), 114u);
    EXPECT_EQ(ReadTypeNumber(u"0x72"), 114u);
    EXPECT_EQ(ReadTypeNumber(u"0X72"), 114u);
    EXPECT_EQ(ReadTypeNumber(u"0162"), 114u);
    EXPECT_EQ(ReadTypeNumber(u" \n+114abc"), 114u);
    EXPECT_EQ(ReadTypeNumber(u"089"), 0u);  // octal stops at 8
    EXPECT_EQ(ReadTypeNumber(u"0x"), 0u);
    EXPECT_EQ(ReadTypeNumber(u"0xg"), 0u);
    EXPECT_EQ(ReadTypeNumber(u"Texture2D"), 0u);
    EXPECT_EQ(ReadTypeNumber(u""), 0u);
    EXPECT_EQ(ReadTypeNumber(u"-1"), 4294967295u);
    EXPECT_EQ(ReadTypeNumber(u"-0x10"), 4294967280u);
    EXPECT_EQ(ReadTypeNumber(u"4294967295"), 4294967295u);
    EXPECT_EQ(ReadTypeNumber(u"4294967296"), 4294967295u);
    EXPECT_EQ(ReadTypeNumber(u"-99999999999"), 4294967295u);
    EXPECT_EQ(ReadTypeNumber(u"0xFFFFFFFFF"), 4294967295u);
}

}  // namespace
}  // namespace kestrova
