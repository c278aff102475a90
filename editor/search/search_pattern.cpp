#include "search_pattern.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <locale.h>

#include "sdk/field_values.h"

namespace kestrova {

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsAsciiLetter(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Skips white space and reads the sign and the magnitude of a decimal number. The magnitude
// saturates just above 2^32, enough to tell every overflow of a 32-bit value.
struct DecimalParts {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

DecimalParts ReadDecimal(std::string_view text) {
    constexpr std::uint64_t kCeiling = 0x100000000ULL;
    DecimalParts parts;
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        parts.negative = text[i] == '-';
        ++i;
    }
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        parts.magnitude = parts.magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (parts.magnitude > kCeiling) {
            parts.magnitude = kCeiling;
        }
    }
    return parts;
}

template <typename Word>
void AppendLittleEndian(SearchPattern& pattern, Word word) {
    for (std::size_t k = 0; k < sizeof(Word); ++k) {
        pattern.values.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
        pattern.masks.push_back(0xFF);
    }
}

SearchPattern TextPattern(std::string_view query, bool ignoreCase) {
    SearchPattern pattern;
    for (char c : query) {
        auto byte = static_cast<std::uint8_t>(c);
        // Upper and lower case of an ASCII letter differ only in bit 0x20.
        bool folded = ignoreCase && IsAsciiLetter(byte);
        pattern.values.push_back(folded ? static_cast<std::uint8_t>(byte & 0xDF) : byte);
        pattern.masks.push_back(folded ? 0xDF : 0xFF);
    }
    return pattern;
}

SearchPattern HexPattern(std::string_view query, bool littleEndian) {
    SearchPattern pattern;
    for (std::size_t i = 0; i < query.size(); i += 2) {
        int high = HexDigitValue(query[i]);
        int low = i + 1 < query.size() ? HexDigitValue(query[i + 1]) : 0;
        if (high < 0 || low < 0) {
            return SearchPattern{{}, {}, true};
        }
        pattern.values.push_back(static_cast<std::uint8_t>(high << 4 | low));
        // A lone last digit stands for the high nibble of its byte.
        pattern.masks.push_back(i + 1 < query.size() ? 0xFF : 0xF0);
    }
    if (littleEndian) {
        std::reverse(pattern.values.begin(), pattern.values.end());
        std::reverse(pattern.masks.begin(), pattern.masks.end());
    }
    return pattern;
}

// IEEE equality: NaN equals nothing, and +0 and -0 differ in the sign bit alone, which sits in
// the last byte of the little-endian form.
template <typename Real, typename Word>
SearchPattern RealPattern(Real value) {
    SearchPattern pattern;
    if (std::isnan(value)) {
        pattern.matchesNothing = true;
        return pattern;
    }
    AppendLittleEndian(pattern, std::bit_cast<Word>(value));
    if (value == 0) {
        pattern.masks.back() = 0x7F;
        pattern.values.back() &= 0x7F;
    }
    return pattern;
}

}  // namespace

bool SearchPattern::MatchesAt(const std::uint8_t* bytes) const {
    for (std::size_t k = 0; k < values.size(); ++k) {
        if ((bytes[k] & masks[k]) != values[k]) {
            return false;
        }
    }
    return true;
}

std::int32_t ParseSigned32(std::string_view text) {
    DecimalParts parts = ReadDecimal(text);
    if (parts.negative) {
        return parts.magnitude >= 0x80000000ULL ? std::numeric_limits<std::int32_t>::min()
                                                : -static_cast<std::int32_t>(parts.magnitude);
    }
    return parts.magnitude > 0x7FFFFFFFULL ? std::numeric_limits<std::int32_t>::max()
                                           : static_cast<std::int32_t>(parts.magnitude);
}

std::uint32_t ParseUnsigned32(std::string_view text) {
    DecimalParts parts = ReadDecimal(text);
    if (parts.magnitude > 0xFFFFFFFFULL) {
        return 0xFFFFFFFFU;
    }
    auto value = static_cast<std::uint32_t>(parts.magnitude);
    return parts.negative ? 0U - value : value;
}

double ParseDouble(std::string_view text) {
    // strtod reads the decimal point of the current locale, and a GUI toolkit may have set the
    // user's; the query is always read in the "C" locale.
    std::string terminated(text);
#if defined(_WIN32)
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
    return _strtod_l(terminated.c_str(), nullptr, cLocale);
#else
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    locale_t previous = uselocale(cLocale);
    double value = std::strtod(terminated.c_str(), nullptr);
    uselocale(previous);
    return value;
#endif
}

SearchPattern CompileSearchPattern(std::string_view query, std::int32_t mode) {
    switch (static_cast<SearchMode>(mode)) {
        case SearchMode::TextIgnoringCase:
            return TextPattern(query, true);
        case SearchMode::Text:
            return TextPattern(query, false);
        case SearchMode::SignedDecimal: {
            SearchPattern pattern;
            AppendLittleEndian(pattern, static_cast<std::uint32_t>(ParseSigned32(query)));
            return pattern;
        }
        case SearchMode::UnsignedDecimal: {
            SearchPattern pattern;
            AppendLittleEndian(pattern, ParseUnsigned32(query));
            return pattern;
        }
        case SearchMode::HexBigEndian:
            return HexPattern(query, false);
        case SearchMode::HexLittleEndian:
            return HexPattern(query, true);
        case SearchMode::Float:
            return RealPattern<float, std::uint32_t>(static_cast<float>(ParseDouble(query)));
        case SearchMode::Double:
            return RealPattern<double, std::uint64_t>(ParseDouble(query));
    }
    return SearchPattern{{}, {}, true};
}

}  // namespace kestrova
