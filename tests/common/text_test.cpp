#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrova {
namespace {

TEST(TextLatin1, BytesAndCharactersMapOneForOne) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::u16string wide = Latin1ToUtf16(all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0xE9], u'\u00e9');
    std::string back;
    EXPECT_TRUE(Utf16ToLatin1(wide, back));
    EXPECT_EQ(back, all);
}

TEST(TextLatin1, CharactersAboveFfBecomeQuestionMarks) {
    std::string out = "old";
    EXPECT_FALSE(Utf16ToLatin1(u"a\u20acb", out));
    EXPECT_EQ(out, "a?b");
}

TEST(TextUtf8, RoundTripsIncludingSurrogatePairs) {
    std::u16string text = u"plain \u00e9 \u20ac \U0001F600";
    std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(utf8, "plain \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToUtf16(utf8), text);
}

TEST(TextUtf8, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xd800')), "\xef\xbf\xbd");
    // A truncated sequence, an overlong form and an encoded surrogate.
    EXPECT_EQ(Utf8ToUtf16("a\xe2\x82"), u"a\ufffd\ufffd");
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\ufffd\ufffd");
    EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");
}

TEST(TextFormatting, LimitedCopiesNumbersAndHexWords) {
    EXPECT_EQ(CopyLimited(u"abcdef", 4), u"abc");
    EXPECT_EQ(CopyLimited(u"ab", 4), u"ab");
    EXPECT_EQ(CopyLimited(u"ab", 0), u"");
    EXPECT_EQ(Ascii("String List"), u"String List");
    EXPECT_EQ(DecimalText(-2147483648LL), u"-2147483648");
    EXPECT_EQ(DecimalText(4294967295LL), u"4294967295");
    EXPECT_EQ(HexWordText(0xBEEF), u"0x0000BEEF");
    EXPECT_EQ(HexWordText(0xFFFFFFFFu), u"0xFFFFFFFF");
}

TEST(TextCompare, IgnoresOnlyTheCaseOfAsciiLetters) {
    EXPECT_EQ(CompareIgnoringAsciiCase(u"PlugIn", u"plugin"), 0);
    EXPECT_NE(CompareIgnoringAsciiCase(u"\u00c9", u"\u00e9"), 0);
    EXPECT_LT(CompareIgnoringAsciiCase(u"plug", u"plugin"), 0);
    EXPECT_GT(CompareIgnoringAsciiCase(u"b", u"A"), 0);
    // Letters compare as lower case, so '_' sorts before them.
    EXPECT_LT(CompareIgnoringAsciiCase(u"_", u"A"), 0);
}

}  // namespace
}  // namespace kestrova
