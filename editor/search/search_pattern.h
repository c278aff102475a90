#pragma once
// A search query compiled to the bytes it looks for. Every mode comes down to one fixed run of
// bytes in which each byte is compared under a mask: letters of a case-insensitive text ignore
// the case bit, the last digit of an odd-length hexadecimal query covers a high nibble only, and
// a floating-point zero ignores the sign bit so that -0 matches too.

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrova {

// The eight ways of reading a query, numbered as the Find dialog lists them.
enum class SearchMode : std::int32_t {
    TextIgnoringCase = 0,
    Text = 1,
    SignedDecimal = 2,
    UnsignedDecimal = 3,
    HexBigEndian = 4,
    HexLittleEndian = 5,
    Float = 6,
    Double = 7,
};

struct SearchPattern {
    // Byte k of a hit satisfies (byte & masks[k]) == values[k]. An empty pattern matches at every
    // position.
    std::vector<std::uint8_t> values;
    std::vector<std::uint8_t> masks;
    // Set when no position can match: an unknown mode, a hexadecimal query with a character that
    // is no digit, a floating-point query that reads as NaN.
    bool matchesNothing = false;

    std::size_t width() const { return values.size(); }
    bool MatchesAt(const std::uint8_t* bytes) const;
};

// `query` is the single-byte form of the user's text (each byte a Latin-1 character), without a
// terminator.
SearchPattern CompileSearchPattern(std::string_view query, std::int32_t mode);

// The C library's base-10 conversions with a 32-bit `long`, in the "C" locale: leading white
// space (space, \t \n \v \f \r), an optional sign, then digits up to the first other character.
// No digits gives 0. Signed values beyond the range become its nearest end; unsigned values beyond
// 32 bits become 4294967295, and a minus sign negates an in-range value modulo 2^32.
std::int32_t ParseSigned32(std::string_view text);
std::uint32_t ParseUnsigned32(std::string_view text);

// The C library's strtod in the "C" locale, whatever locale the process has set: decimal and
// hexadecimal forms, "inf", "infinity" and "nan"; text that is no number gives 0.
double ParseDouble(std::string_view text);

}  // namespace kestrova
