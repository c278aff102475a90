#include "sdk/field_values.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace kestrova {

namespace {

constexpr std::uint32_t kQuietNan32 = 0x7FC00000u;
constexpr std::uint64_t kQuietNan64 = 0x7FF8000000000000u;

bool IsSigned(FieldKind kind) {
    return kind == FieldKind::SInt8 || kind == FieldKind::SInt16 || kind == FieldKind::SInt32 ||
           kind == FieldKind::SInt64;
}

// The integer range of a kind; a bool's byte holds 0 to 255.
std::int64_t Lowest(FieldKind kind) {
    const unsigned bits = 8 * ScalarWidth(kind);
    return IsSigned(kind) ? (bits == 64 ? std::numeric_limits<std::int64_t>::min()
                                        : -(std::int64_t{1} << (bits - 1)))
                          : 0;
}

std::uint64_t Highest(FieldKind kind) {
    const unsigned bits = 8 * ScalarWidth(kind) - (IsSigned(kind) ? 1 : 0);
    return bits == 64 ? std::numeric_limits<std::uint64_t>::max() : (std::uint64_t{1} << bits) - 1;
}

std::uint64_t Mask(FieldKind kind) {
    return ScalarWidth(kind) == 8 ? ~std::uint64_t{0}
                                  : (std::uint64_t{1} << (8 * ScalarWidth(kind))) - 1;
}

std::string HexDigits(std::uint64_t value, unsigned digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(digits, '0');
    for (unsigned i = digits; i-- > 0; value >>= 4) {
        text[i] = kDigits[value & 15];
    }
    return text;
}

template <class Float, class Bits>
std::optional<std::uint64_t> ParseFloat(std::string_view text, Bits quietNan, std::string& error) {
    const char* what = sizeof(Float) == 4 ? "a float" : "a double";
    if (text == "NaN") {
        return quietNan;
    }
    if (text == "Infinity" || text == "-Infinity") {
        const Float infinity = std::numeric_limits<Float>::infinity();
        return std::bit_cast<Bits>(text[0] == '-' ? -infinity : infinity);
    }
    if (text.starts_with("NaN:0x")) {
        Bits bits = 0;
        const std::string_view digits = text.substr(6);
        const std::from_chars_result read =
            std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
        if (read.ec == std::errc() && read.ptr == digits.data() + digits.size() &&
            std::isnan(std::bit_cast<Float>(bits))) {
            return bits;
        }
        error = "\"" + std::string(text) + "\" is not the bits of a NaN";
        return std::nullopt;
    }
    Float value = 0;
    const std::from_chars_result read =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        error = std::string(text) + " is outside the range of " + what;
        return std::nullopt;
    }
    if (read.ec != std::errc() || read.ptr != text.data() + text.size() || text.empty()) {
        error = "\"" + std::string(text) + "\" is not " + what;
        return std::nullopt;
    }
    return std::bit_cast<Bits>(value);
}

// Copies a word into `text` and returns its length.
std::size_t Word(char* text, std::string_view word) {
    std::copy(word.begin(), word.end(), text);
    return word.size();
}

template <class Float, class Bits>
std::size_t FloatChars(char* text, Bits bits, Bits quietNan) {
    const auto value = std::bit_cast<Float>(bits);
    if (std::isnan(value)) {
        return bits == quietNan ? Word(text, "NaN")
                                : Word(text, "NaN:0x" + HexDigits(bits, 2 * sizeof(Bits)));
    }
    if (std::isinf(value)) {
        return Word(text, value < 0 ? "-Infinity" : "Infinity");
    }
    if (value == 0 && std::signbit(value)) {
        return Word(text, "-0.0");  // "-0" would read as the integer 0, which has no sign
    }
    constexpr Float kExact = Float(1) / std::numeric_limits<Float>::epsilon();
    if (std::fabs(value) < kExact &&
        value == static_cast<Float>(static_cast<std::int64_t>(value))) {
        // Whole numbers below the precision read back exactly as integers, written faster.
        return static_cast<std::size_t>(
            std::to_chars(text, text + kScalarChars, static_cast<std::int64_t>(value)).ptr - text);
    }
    // The library's shortest form (the fewest digits that read back to the same bits).
    return static_cast<std::size_t>(std::to_chars(text, text + kScalarChars, value).ptr - text);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::size_t ScalarChars(char* text, FieldKind kind, std::uint64_t bits) {
    switch (kind) {
        case FieldKind::Bool:
            if (bits <= 1) {
                return Word(text, bits == 1 ? "true" : "false");
            }
            break;
        case FieldKind::Float:
            return FloatChars<float>(text, static_cast<std::uint32_t>(bits), kQuietNan32);
        case FieldKind::Double:
            return FloatChars<double>(text, bits, kQuietNan64);
        default:
            break;
    }
    char* end = text + kScalarChars;
    if (IsSigned(kind)) {
        const unsigned shift = 64 - 8 * ScalarWidth(kind);
        return static_cast<std::size_t>(
            std::to_chars(text, end, static_cast<std::int64_t>(bits << shift) >> shift).ptr - text);
    }
    return static_cast<std::size_t>(std::to_chars(text, end, bits & Mask(kind)).ptr - text);
}

void AppendScalarText(std::string& out, FieldKind kind, std::uint64_t bits) {
    char text[kScalarChars];
    out.append(text, ScalarChars(text, kind, bits));
}

std::string ScalarText(FieldKind kind, std::uint64_t bits) {
    std::string text;
    AppendScalarText(text, kind, bits);
    return text;
}

bool IsNonFinite(FieldKind kind, std::uint64_t bits) {
    switch (kind) {
        case FieldKind::Float:
            return !std::isfinite(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
        case FieldKind::Double:
            return !std::isfinite(std::bit_cast<double>(bits));
        default:
            return false;
    }
}

std::string IntegerRange(FieldKind kind) {
    return std::to_string(Lowest(kind)) + " to " + std::to_string(Highest(kind));
}

std::optional<std::uint64_t> ScalarFromInteger(FieldKind kind, std::int64_t value) {
    if (value >= 0) {
        return ScalarFromUnsigned(kind, static_cast<std::uint64_t>(value));
    }
    if (kind == FieldKind::Float) {
        return std::bit_cast<std::uint32_t>(static_cast<float>(value));
    }
    if (kind == FieldKind::Double) {
        return std::bit_cast<std::uint64_t>(static_cast<double>(value));
    }
    if (value < Lowest(kind)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(value) & Mask(kind);
}

std::optional<std::uint64_t> ScalarFromUnsigned(FieldKind kind, std::uint64_t value) {
    if (kind == FieldKind::Float) {
        return std::bit_cast<std::uint32_t>(static_cast<float>(value));
    }
    if (kind == FieldKind::Double) {
        return std::bit_cast<std::uint64_t>(static_cast<double>(value));
    }
    if (!IsScalar(kind) || value > Highest(kind)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> ParseScalar(FieldKind kind, std::string_view typed,
                                         std::string& error) {
    const std::string_view text = Trimmed(typed);
    if (kind == FieldKind::Float) {
        return ParseFloat<float, std::uint32_t>(text, kQuietNan32, error);
    }
    if (kind == FieldKind::Double) {
        return ParseFloat<double, std::uint64_t>(text, kQuietNan64, error);
    }
    if (kind == FieldKind::Bool && (text == "true" || text == "false")) {
        return text == "true" ? 1 : 0;
    }
    std::optional<std::uint64_t> bits;
    const char* end = text.data() + text.size();
    std::from_chars_result read{};
    bool overflow = false;
    if (!text.empty() && text[0] == '-') {
        std::int64_t value = 0;
        read = std::from_chars(text.data(), end, value);
        overflow = read.ec == std::errc::result_out_of_range;
        bits = ScalarFromInteger(kind, value);
    } else {
        std::uint64_t value = 0;
        read = std::from_chars(text.data(), end, value);
        overflow = read.ec == std::errc::result_out_of_range;
        bits = ScalarFromUnsigned(kind, value);
    }
    const char* what = kind == FieldKind::Bool ? "true, false or a byte value" : "an integer";
    if (text.empty() || (read.ec != std::errc() && !overflow) || read.ptr != end) {
        error = "\"" + std::string(text) + "\" is not " + what;
        return std::nullopt;
    }
    if (overflow || !bits) {
        error = std::string(text) + " is outside the range " + IntegerRange(kind);
        return std::nullopt;
    }
    return bits;
}

bool IsUtf8(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t lowest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, lowest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, lowest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    char* p = out.data() + start;
    for (std::uint8_t byte : bytes) {
        *p++ = kDigits[byte >> 4];
        *p++ = kDigits[byte & 15];
    }
}

bool ParseHex(std::string_view text, std::vector<std::uint8_t>& out) {
    if (text.size() % 2 != 0) {
        return false;
    }
    out.clear();
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return true;
}

}  // namespace kestrova
