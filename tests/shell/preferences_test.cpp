#include "editor/shell/preferences.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "common/text.h"
#include "tests/document/asset_file_builder.h"

namespace kestrova {
namespace {

using testing::TempFolder;

std::u16string Wide(const TempFolder& temp, std::string_view name) {
    return Utf8ToUtf16(temp.File(name));
}

std::string ReadText(const TempFolder& temp, std::string_view name) {
    testing::Bytes bytes = testing::ReadBytes(temp.File(name));
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const TempFolder& temp, std::string_view name, const std::string& text) {
    testing::WriteBytes(temp.File(name), testing::Bytes(text.begin(), text.end()));
}

std::uint32_t WordAt(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

TEST(Preferences, MissingFileGivesDefaultsAndSavingWritesTheFixedLayout) {
    TempFolder temp;
    Preferences p;
    p.windowWidth = 5;  // overwritten by the defaults
    EXPECT_TRUE(LoadPreferences(p, Wide(temp, "preferences")));
    EXPECT_EQ(p.windowWidth, 800);
    EXPECT_EQ(p.windowHeight, 600);
    EXPECT_EQ(p.windowX, 0);
    EXPECT_EQ(p.windowY, 0);
    EXPECT_EQ(p.listPanelRatio, 0.5f);
    EXPECT_EQ(p.columnWidths, (std::array<std::int32_t, 4>{200, 100, 100, 100}));
    EXPECT_EQ(p.maximized, 0);
    EXPECT_EQ(FolderText(p.lastAssetFolder), u"");
    EXPECT_EQ(p.panelMode, 0);

    p.windowX = -3;
    p.maximized = 1;
    SetFolderText(p.lastAssetFolder, u"/games/level/");
    p.panelMode = 2;
    ASSERT_TRUE(SavePreferences(p, Wide(temp, "preferences")));
    std::string bytes = ReadText(temp, "preferences");
    ASSERT_EQ(bytes.size(), 2089u);
    EXPECT_EQ(WordAt(bytes, 0), 800u);
    EXPECT_EQ(WordAt(bytes, 8), 0xFFFFFFFDu);
    EXPECT_EQ(WordAt(bytes, 16), std::bit_cast<std::uint32_t>(0.5f));
    EXPECT_EQ(WordAt(bytes, 20), 200u);
    EXPECT_EQ(WordAt(bytes, 32), 100u);
    EXPECT_EQ(bytes[36], 1);
    EXPECT_EQ(bytes[37], '/');
    EXPECT_EQ(bytes[38], 0);  // UTF-16 little-endian
    EXPECT_EQ(bytes[39], 'g');
    EXPECT_EQ(WordAt(bytes, 2085), 2u);
}

TEST(Preferences, RoundTripKeepsEveryBitAndTheFolderBytesAfterTheTerminator) {
    TempFolder temp;
    Preferences p;
    p.windowWidth = 1234;
    p.windowHeight = -7;
    p.windowX = 100;
    p.windowY = -2000;
    p.listPanelRatio = std::bit_cast<float>(0x3EAAAAABu);  // a ratio that is not round
    p.columnWidths = {1, -2, 3, 400000};
    p.maximized = 1;
    p.lastAssetFolder.fill(u'\u00E9');
    p.lastAssetFolder[5] = u'\0';  // text "ééééé", then garbage stored whole
    p.lastDataFolder.fill(u'\u4E2D');
    p.lastDataFolder[511] = u'\0';
    p.panelMode = 1;
    ASSERT_TRUE(SavePreferences(p, Wide(temp, "preferences")));

    Preferences back;
    LoadPreferences(back, Wide(temp, "preferences"));
    EXPECT_EQ(back.windowWidth, 1234);
    EXPECT_EQ(back.windowHeight, -7);
    EXPECT_EQ(back.windowX, 100);
    EXPECT_EQ(back.windowY, -2000);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back.listPanelRatio), 0x3EAAAAABu);
    EXPECT_EQ(back.columnWidths, p.columnWidths);
    EXPECT_EQ(back.maximized, 1);
    EXPECT_EQ(back.lastAssetFolder, p.lastAssetFolder);
    EXPECT_EQ(back.lastDataFolder, p.lastDataFolder);
    EXPECT_EQ(FolderText(back.lastAssetFolder), u"\u00E9\u00E9\u00E9\u00E9\u00E9");
    EXPECT_EQ(back.panelMode, 1);
    // A NaN ratio keeps its exact bits too.
    p.listPanelRatio = std::bit_cast<float>(0x7FC01234u);
    ASSERT_TRUE(SavePreferences(p, Wide(temp, "preferences")));
    LoadPreferences(back, Wide(temp, "preferences"));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back.listPanelRatio), 0x7FC01234u);
}

TEST(Preferences, ShortFileKeepsDefaultBytesPastItsEndAndLongFileIgnoresTheRest) {
    TempFolder temp;
    // Six bytes: windowWidth whole, then the first two bytes of windowHeight. The height keeps
    // the default's upper bytes (600 = 0x0258), so it reads 0x0000_0211 with low bytes 11 02.
    WriteText(temp, "short", std::string("\x20\x03\x00\x00\x11\x02", 6));
    Preferences p;
    LoadPreferences(p, Wide(temp, "short"));
    EXPECT_EQ(p.windowWidth, 800);
    EXPECT_EQ(p.windowHeight, 0x0211);
    WriteText(temp, "short", std::string("\x01\x00\x00\x00\xFF\xFF", 6));
    LoadPreferences(p, Wide(temp, "short"));
    EXPECT_EQ(p.windowHeight, 0x0000FFFF);
    EXPECT_EQ(p.listPanelRatio, 0.5f);
    EXPECT_EQ(p.columnWidths[0], 200);
    EXPECT_EQ(p.panelMode, 0);

    Preferences stored;
    stored.windowWidth = 1024;
    stored.panelMode = 2;
    ASSERT_TRUE(SavePreferences(stored, Wide(temp, "long")));
    WriteText(temp, "long", ReadText(temp, "long") + std::string(100, '\x7F'));
    LoadPreferences(p, Wide(temp, "long"));
    EXPECT_EQ(p.windowWidth, 1024);
    EXPECT_EQ(p.panelMode, 2);

    WriteText(temp, "empty", "");
    LoadPreferences(p, Wide(temp, "empty"));
    EXPECT_EQ(p.windowWidth, 800);
}

TEST(Preferences, SaveReportsAFileThatCannotBeWritten) {
    TempFolder temp;
    EXPECT_FALSE(SavePreferences(Preferences{}, Wide(temp, "missing/preferences")));
}

TEST(Preferences, FolderTextIsCutToTheFieldAndClearsTheOldTail) {
    std::array<char16_t, Preferences::kFolderCapacity> field;
    field.fill(u'x');
    SetFolderText(field, u"/a/");
    EXPECT_EQ(FolderText(field), u"/a/");
    EXPECT_EQ(field[3], u'\0');
    EXPECT_EQ(field[511], u'\0');
    SetFolderText(field, std::u16string(600, u'd'));
    EXPECT_EQ(FolderText(field).size(), 511u);
    field.fill(u'y');  // no terminator at all: the text ends with the field
    EXPECT_EQ(FolderText(field).size(), 512u);
}

}  // namespace
}  // namespace kestrova
