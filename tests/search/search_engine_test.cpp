// The search engine on small working copies built for each case: which assets it reports, in
// which order, for every mode, and what it shows in the status line.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "search_fixture.h"

namespace kestrova::testing {
namespace {

using Ids = std::vector<std::uint32_t>;

// A working copy of `size` filler bytes with `bytes` placed at `at`.
std::string Filled(std::size_t size,
                   std::initializer_list<std::pair<std::size_t, std::string>> puts) {
    std::string image(size, '.');
    for (const auto& [at, bytes] : puts) {
        image.replace(at, bytes.size(), bytes);
    }
    return image;
}

std::string Raw(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

template <typename T>
std::string BytesOf(T value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// Three assets of 20 bytes each from data base 10: pathIds 1, 2, 3.
class EngineTest : public ::testing::Test, public SearchFixture {
protected:
    void Three(std::string image) {
        SetWorkingCopy(std::move(image), 10,
                       {MakeEntry(u"one", 1, 0, 20), MakeEntry(u"two", 2, 20, 20),
                        MakeEntry(u"three", 3, 40, 20)});
    }
};

// --- Text modes ---

TEST_F(EngineTest, CaseInsensitiveTextFoldsAsciiLettersOnly) {
    Three(Filled(70, {{12, "HeLLo"}, {35, "h\xC9llo"}, {52, "hello"}}));
    EXPECT_EQ(Search(u"hello", 0).pathIds(), (Ids{1, 3}));
    // U+00E9 and U+00C9 are not folded into each other.
    EXPECT_EQ(Search(u"H\u00E9LLO", 0).pathIds(), Ids{});
    EXPECT_EQ(Search(u"H\u00C9LLO", 0).pathIds(), (Ids{2}));
}

TEST_F(EngineTest, CaseSensitiveTextNeedsExactBytes) {
    Three(Filled(70, {{12, "HeLLo"}, {35, "Hello"}, {52, "hello"}}));
    EXPECT_EQ(Search(u"Hello", 1).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u"\u00FF", 1).pathIds(), Ids{});
}

TEST_F(EngineTest, HitMayRunPastItsAssetButNotPastTheFile) {
    // "abcd" starts in asset 1 and ends in asset 2; it belongs to asset 1.
    Three(Filled(70, {{28, "abcd"}}));
    EXPECT_EQ(Search(u"abcd", 1).pathIds(), (Ids{1}));
    // The last asset reaches the end of the file; a hit must end inside the file.
    SetWorkingCopy(Filled(30, {{27, "xyz"}}), 0, {MakeEntry(u"tail", 9, 20, 40)});
    EXPECT_EQ(Search(u"xyz", 1).pathIds(), (Ids{9}));
    EXPECT_EQ(Search(u"xyz.", 1).pathIds(), Ids{});
}

TEST_F(EngineTest, QueryEndsAtItsFirstZeroCharacter) {
    Three(Filled(70, {{45, "ab"}}));
    EXPECT_EQ(Search(std::u16string(u"ab\0zz", 5), 1).pathIds(), (Ids{2}));
}

// --- Which assets are reported ---

TEST_F(EngineTest, AssetIsReportedOnceAndItsRestIsSkipped) {
    // "inner" comes first in the table and lies inside "outer". The hit at 12 belongs to "outer"
    // and the scan skips the rest of it, so the hit at 15, which "inner" owns, is never seen.
    SetWorkingCopy(Filled(40, {{12, "ab"}, {15, "ab"}, {25, "ab"}}), 10,
                   {MakeEntry(u"inner", 4, 4, 4), MakeEntry(u"outer", 1, 0, 20)});
    EXPECT_EQ(Search(u"ab", 1).pathIds(), (Ids{1}));
    SetWorkingCopy(Filled(40, {{15, "ab"}, {25, "ab"}}), 10,
                   {MakeEntry(u"inner", 4, 4, 4), MakeEntry(u"outer", 1, 0, 20)});
    EXPECT_EQ(Search(u"ab", 1).pathIds(), (Ids{4, 1}));
}

TEST_F(EngineTest, HitBelongsToTheFirstHoldingAssetInTableOrder) {
    // "big" covers everything and comes second; "small" holds the first hit and comes first.
    SetWorkingCopy(Filled(100, {{25, "q"}, {30, "q"}, {60, "q"}}), 0,
                   {MakeEntry(u"small", 7, 20, 20), MakeEntry(u"big", 8, 0, 100)});
    // The hit at 30 falls in "small" too and is skipped with it; 60 belongs to "big".
    EXPECT_EQ(Search(u"q", 1).pathIds(), (Ids{7, 8}));
}

TEST_F(EngineTest, DuplicateNameAndPathIdAreListedOnceBlankNamesNever) {
    SetWorkingCopy(
        Filled(60, {{1, "k"}, {11, "k"}, {21, "k"}, {31, "k"}, {41, "k"}}), 0,
        {MakeEntry(u"same", 5, 0, 10), MakeEntry(u"same", 5, 10, 10), MakeEntry(u"same", 6, 20, 10),
         MakeEntry(u" \r\n", 7, 30, 10), MakeEntry(u"\t", 8, 40, 10)});
    auto run = Search(u"k", 1);
    ASSERT_EQ(run.results.size(), 3U);
    EXPECT_EQ(run.pathIds(), (Ids{5, 6, 8}));
}

TEST_F(EngineTest, PositionsOutsideAssetsAndBeforeTheDataBaseAreIgnored) {
    // The header area (before 30) holds the text too; so does the gap at 45 and the tail at 90.
    SetWorkingCopy(
        Filled(100, {{3, "zz"}, {45, "zz"}, {62, "zz"}, {90, "zz"}}), 30,
        {MakeEntry(u"a", 1, 0, 10), MakeEntry(u"empty", 2, 14, 0), MakeEntry(u"b", 3, 30, 10)});
    EXPECT_EQ(Search(u"zz", 1).pathIds(), (Ids{3}));
}

TEST_F(EngineTest, SizeZeroAssetNeverOwnsAHit) {
    SetWorkingCopy(Filled(40, {{10, "m"}}), 0,
                   {MakeEntry(u"zero", 1, 10, 0), MakeEntry(u"real", 2, 10, 10)});
    EXPECT_EQ(Search(u"m", 1).pathIds(), (Ids{2}));
}

TEST_F(EngineTest, DataBaseAtOrBeyondTheEndFindsNothing) {
    SetWorkingCopy(Filled(20, {{5, "x"}}), 20, {MakeEntry(u"a", 1, 0, 10)});
    auto run = Search(u"x", 1);
    EXPECT_TRUE(run.outcome.ok);
    EXPECT_TRUE(run.results.empty());
    EXPECT_TRUE(run.statusTexts.empty());
    SetWorkingCopy("", 0, {MakeEntry(u"a", 1, 0, 10)});
    EXPECT_TRUE(Search(u"x", 1).outcome.ok);
}

// --- Numbers ---

TEST_F(EngineTest, SignedAndUnsignedDecimalFindLittleEndianWords) {
    Three(Filled(70, {{12, Raw({0xFF, 0xFF, 0xFF, 0xFF})},
                      {32, Raw({0xFF, 0xFF, 0xFF, 0x7F})},
                      {52, Raw({0x39, 0x30, 0x00, 0x00})}}));
    EXPECT_EQ(Search(u"-1", 2).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"4294967295", 3).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"-1", 3).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"99999999999", 3).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"2147483648", 2).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u" \t+12345xyz", 2).pathIds(), (Ids{3}));
    EXPECT_EQ(Search(u"12345", 3).pathIds(), (Ids{3}));
}

TEST_F(EngineTest, TextThatIsNoNumberSearchesForZero) {
    Three(Filled(70, {{45, Raw({0, 0, 0, 0})}}));
    EXPECT_EQ(Search(u"abc", 2).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u"x", 3).pathIds(), (Ids{2}));
}

TEST_F(EngineTest, FloatIsRoundedToSinglePrecision) {
    Three(Filled(70, {{12, BytesOf(0.1f)}, {32, BytesOf(0.1)}, {52, BytesOf(-2.5f)}}));
    EXPECT_EQ(Search(u"0.1", 6).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"0.1", 7).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u"-2.5", 6).pathIds(), (Ids{3}));
    EXPECT_EQ(Search(u"  -0.25e1", 6).pathIds(), (Ids{3}));
}

TEST_F(EngineTest, ZeroMatchesBothSignsAndNanNeverMatches) {
    Three(Filled(70, {{12, BytesOf(-0.0f)}, {30, BytesOf(0.0)}, {45, BytesOf(std::nanf(""))}}));
    EXPECT_EQ(Search(u"0", 6).pathIds(), (Ids{1, 2}));
    EXPECT_EQ(Search(u"-0", 6).pathIds(), (Ids{1, 2}));
    EXPECT_EQ(Search(u"nan", 6).pathIds(), Ids{});
    EXPECT_EQ(Search(u"-0", 7).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u"nan", 7).pathIds(), Ids{});
}

// --- Hexadecimal ---

TEST_F(EngineTest, HexDigitsOfEitherCaseFindTheSameBytes) {
    Three(Filled(70, {{12, Raw({0xAB, 0xCD})}, {52, Raw({0xCD, 0xAB})}}));
    EXPECT_EQ(Search(u"abcd", 4).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"ABCD", 4).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"aBcD", 5).pathIds(), (Ids{3}));
}

TEST_F(EngineTest, OddHexLengthComparesAHighNibble) {
    Three(Filled(70, {{12, Raw({0xAB, 0xC7})}, {32, Raw({0xC3, 0xAB})}, {52, Raw({0xAB, 0xD0})}}));
    EXPECT_EQ(Search(u"ABC", 4).pathIds(), (Ids{1}));
    EXPECT_EQ(Search(u"ABC", 5).pathIds(), (Ids{2}));
    EXPECT_EQ(Search(u"C", 4).pathIds(), (Ids{1, 2}));
}

TEST_F(EngineTest, HexQueryWithOtherCharactersNeverHitsButStillReportsProgress) {
    Three(Filled(200, {{12, Raw({0x12, 0x34})}}));
    for (const char16_t* query : {u"0x12", u" 1234", u"12 34", u"12g4"}) {
        auto run = Search(query, 4);
        EXPECT_TRUE(run.outcome.ok) << Utf16ToUtf8(query);
        EXPECT_TRUE(run.results.empty()) << Utf16ToUtf8(query);
        EXPECT_FALSE(run.statusTexts.empty()) << Utf16ToUtf8(query);
    }
}

// --- Failures and other modes ---

TEST_F(EngineTest, ModesOutsideTheEightScanAndFindNothing) {
    Three(Filled(200, {{12, "x"}}));
    for (std::int32_t mode : {-1, 8, 1000}) {
        auto run = Search(u"x", mode);
        EXPECT_TRUE(run.outcome.ok);
        EXPECT_TRUE(run.results.empty());
        EXPECT_EQ(run.statusTexts.front(), u"Number Found:0\tPercent Searched:5%");
    }
}

TEST_F(EngineTest, QueryBeyondLatin1IsRefused) {
    Three(Filled(70, {{12, "x"}}));
    auto run = Search(u"x\u0100", 0);
    EXPECT_FALSE(run.outcome.ok);
    EXPECT_EQ(run.outcome.message, kQueryNotSingleByte);
    EXPECT_EQ(run.statusTexts, std::vector<std::u16string>{kQueryNotSingleByte});
    EXPECT_TRUE(run.results.empty());
}

TEST_F(EngineTest, MissingWorkingCopyChangesNothing) {
    doc.workingFolder = folder.Wide("absent");
    StringList list;
    Add(list, u"kept", 1, false, false);
    bool called = false;
    Outcome outcome =
        SearchAssetData(doc, u"x", list, 1, [&](std::u16string_view) { called = true; });
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(called);
    ASSERT_EQ(list.count(), 1U);
}

// --- Progress ---

TEST_F(EngineTest, ProgressShowsWholePercentsWithTheCountSoFar) {
    // 200 bytes: position p shows p / 2 percent when p is even. The hit in asset 1 (data 10-29)
    // moves the scan to its last byte, 29, which shows nothing; the count changes from there.
    SetWorkingCopy(Filled(200, {{15, "!"}}), 10,
                   {MakeEntry(u"one", 1, 0, 20), MakeEntry(u"two", 2, 20, 180)});
    auto run = Search(u"!", 1);
    ASSERT_EQ(run.statusTexts.size(), 88U);
    EXPECT_EQ(run.statusTexts[0], u"Number Found:0\tPercent Searched:5%");
    EXPECT_EQ(run.statusTexts[1], u"Number Found:0\tPercent Searched:6%");
    EXPECT_EQ(run.statusTexts[2], u"Number Found:0\tPercent Searched:7%");
    EXPECT_EQ(run.statusTexts[3], u"Number Found:1\tPercent Searched:15%");
    EXPECT_EQ(run.statusTexts.back(), u"Number Found:1\tPercent Searched:99%");
}

TEST_F(EngineTest, SmallFileMayShowNoProgressAtAll) {
    SetWorkingCopy(Filled(7, {}), 1, {MakeEntry(u"a", 1, 0, 6)});
    EXPECT_TRUE(Search(u"q", 1).statusTexts.empty());
}

}  // namespace
}  // namespace kestrova::testing
