// Reading a query: the C library's number rules with a 32-bit long, in the "C" locale whatever
// locale the process runs in, and the byte patterns that each mode compiles to.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "editor/search/search_pattern.h"

namespace kestrova {
namespace {

TEST(ParseSigned32, FollowsStrtolWithClamping) {
    EXPECT_EQ(ParseSigned32("42"), 42);
    EXPECT_EQ(ParseSigned32(" \t\n\v\f\r-42abc"), -42);
    EXPECT_EQ(ParseSigned32("+7"), 7);
    EXPECT_EQ(ParseSigned32("2147483647"), 2147483647);
    EXPECT_EQ(ParseSigned32("2147483648"), 2147483647);
    EXPECT_EQ(ParseSigned32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseSigned32("-2147483649"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseSigned32("99999999999999999999999999"), 2147483647);
    EXPECT_EQ(ParseSigned32("-0"), 0);
    // No digits, a sign alone, a hex prefix read in base 10, a non-breaking space (not white
    // space in the "C" locale).
    EXPECT_EQ(ParseSigned32(""), 0);
    EXPECT_EQ(ParseSigned32("-"), 0);
    EXPECT_EQ(ParseSigned32("0x1F"), 0);
    EXPECT_EQ(ParseSigned32("\xA0"
                            "5"),
              0);
    EXPECT_EQ(ParseSigned32("+-5"), 0);
}

TEST(ParseUnsigned32, FollowsStrtoulWithClampingAndNegation) {
    EXPECT_EQ(ParseUnsigned32("4294967295"), 4294967295U);
    EXPECT_EQ(ParseUnsigned32("4294967296"), 4294967295U);
    EXPECT_EQ(ParseUnsigned32("-1"), 4294967295U);
    EXPECT_EQ(ParseUnsigned32("-4294967295"), 1U);
    EXPECT_EQ(ParseUnsigned32("-4294967296"), 4294967295U);
    EXPECT_EQ(ParseUnsigned32("  +12 34"), 12U);
    EXPECT_EQ(ParseUnsigned32("abc"), 0U);
    EXPECT_EQ(ParseUnsigned32("000000000000000000000000000000007"), 7U);
}

TEST(ParseDouble, ReadsInTheCLocaleWhateverTheProcessLocale) {
    EXPECT_EQ(ParseDouble("1.5"), 1.5);
    EXPECT_EQ(ParseDouble("  -2.5e1x"), -25.0);
    EXPECT_EQ(ParseDouble("0x10"), 16.0);
    EXPECT_TRUE(std::isinf(ParseDouble("1e400")));
    EXPECT_TRUE(std::isnan(ParseDouble("nan")));
    EXPECT_EQ(ParseDouble("words"), 0.0);
    // A locale with a decimal comma must not change how "1.5" reads.
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            EXPECT_EQ(ParseDouble("1.5"), 1.5) << name;
            std::setlocale(LC_NUMERIC, "C");
            break;
        }
    }
}

std::vector<std::uint8_t> V(std::initializer_list<int> values) {
    return {values.begin(), values.end()};
}

TEST(CompileSearchPattern, HexModesPlaceTheLoneDigitInAHighNibble) {
    SearchPattern big = CompileSearchPattern("abC", 4);
    EXPECT_EQ(big.values, V({0xAB, 0xC0}));
    EXPECT_EQ(big.masks, V({0xFF, 0xF0}));
    SearchPattern little = CompileSearchPattern("abC", 5);
    EXPECT_EQ(little.values, V({0xC0, 0xAB}));
    EXPECT_EQ(little.masks, V({0xF0, 0xFF}));
    EXPECT_TRUE(CompileSearchPattern("0x1", 4).matchesNothing);
    EXPECT_TRUE(CompileSearchPattern("1 ", 5).matchesNothing);
}

TEST(CompileSearchPattern, FloatingZeroIgnoresTheSignBitOnly) {
    SearchPattern zero = CompileSearchPattern("-0", 6);
    EXPECT_EQ(zero.values, V({0, 0, 0, 0}));
    EXPECT_EQ(zero.masks, V({0xFF, 0xFF, 0xFF, 0x7F}));
    SearchPattern one = CompileSearchPattern("1", 7);
    EXPECT_EQ(one.values, V({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(one.masks, std::vector<std::uint8_t>(8, 0xFF));
    // A double too large for a float becomes infinity; a NaN matches nothing.
    EXPECT_EQ(CompileSearchPattern("1e39", 6).values, V({0, 0, 0x80, 0x7F}));
    EXPECT_TRUE(CompileSearchPattern("nan", 6).matchesNothing);
    EXPECT_TRUE(CompileSearchPattern("-nan", 7).matchesNothing);
}

TEST(CompileSearchPattern, CaseInsensitiveTextMasksTheCaseBitOfLettersOnly) {
    SearchPattern text = CompileSearchPattern("a@[z", 0);
    EXPECT_EQ(text.values, V({'A', '@', '[', 'Z'}));
    EXPECT_EQ(text.masks, V({0xDF, 0xFF, 0xFF, 0xDF}));
    const std::uint8_t lower[] = {'a', '@', '[', 'z'};
    const std::uint8_t shifted[] = {'a', '`', '{', 'z'};  // '@' ^ 0x20, '[' ^ 0x20
    EXPECT_TRUE(text.MatchesAt(lower));
    EXPECT_FALSE(text.MatchesAt(shifted));
}

}  // namespace
}  // namespace kestrova
