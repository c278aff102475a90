#include "common/number_text.h"

#include <limits>

namespace kestrova {

namespace {

// White space as the C library's "C" locale classifies it.
bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// The value of a digit in any base up to 16, or 16 for a character that is no digit.
unsigned DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return static_cast<unsigned>(c - u'0');
    }
    if (c >= u'a' && c <= u'f') {
        return static_cast<unsigned>(c - u'a' + 10);
    }
    if (c >= u'A' && c <= u'F') {
        return static_cast<unsigned>(c - u'A' + 10);
    }
    return 16;
}

std::size_t SkipBlanks(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return i;
}

constexpr std::uint64_t kMaxWord = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::uint32_t ReadDialogUnsigned(std::u16string_view text) {
    std::size_t i = SkipBlanks(text);
    if (i == text.size()) {
        return 0;
    }
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        unsigned digit = DigitValue(text[i]);
        if (digit > 9) {
            return 0;
        }
        value = value * 10 + digit;
        if (value > kMaxWord) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t ReadUnsignedNumber(std::u16string_view text, unsigned base) {
    std::size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // A "0x" prefix counts only when a hexadecimal digit follows it; otherwise the 0 is read alone.
    const bool hexPrefix = i + 2 < text.size() && text[i] == u'0' &&
                           (text[i + 1] == u'x' || text[i + 1] == u'X') &&
                           DigitValue(text[i + 2]) < 16;
    if (base == 16 || base == 0) {
        if (hexPrefix) {
            base = 16;
            i += 2;
        } else if (base == 0) {
            base = (i < text.size() && text[i] == u'0') ? 8 : 10;
        }
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        unsigned digit = DigitValue(text[i]);
        if (digit >= base) {
            break;
        }
        value = value * base + digit;
        if (value > kMaxWord) {
            overflow = true;
            value = kMaxWord;
        }
    }
    if (overflow) {
        return static_cast<std::uint32_t>(kMaxWord);
    }
    std::uint32_t result = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

}  // namespace kestrova
