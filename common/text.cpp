#include "text.h"

#include <algorithm>

namespace kestrova {

std::u16string Latin1ToUtf16(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), out.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return out;
}

bool Utf16ToLatin1(std::u16string_view text, std::string& out) {
    out.resize(text.size());
    bool exact = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) {
            out[i] = '?';
            exact = false;
        } else {
            out[i] = static_cast<char>(text[i]);
        }
    }
    return exact;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        unsigned char b = byte(i);
        std::uint32_t c = 0xFFFD;
        std::size_t length = 1;
        std::uint32_t minimum = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        }
        if (length > 1) {
            bool valid = i + length <= text.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                valid = (byte(i + k) & 0xC0) == 0x80;
                c = (c << 6) | (byte(i + k) & 0x3F);
            }
            if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                c = 0xFFFD;
                length = 1;
            }
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u16string CopyLimited(std::u16string_view text, std::size_t capacity) {
    if (capacity == 0) {
        return {};
    }
    return std::u16string(text.substr(0, std::min(text.size(), capacity - 1)));
}

std::u16string Ascii(std::string_view ascii) { return Latin1ToUtf16(ascii); }

std::u16string DecimalText(std::int64_t value) { return Ascii(std::to_string(value)); }

std::u16string HexWordText(std::uint32_t value) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string out = u"0x00000000";
    for (int i = 9; i >= 2; --i, value >>= 4) {
        out[i] = kDigits[value & 0xF];
    }
    return out;
}

std::size_t FileNameStart(std::u16string_view path) {
    std::size_t separator = path.find_last_of(u"/\\");
    return separator == std::u16string_view::npos ? 0 : separator + 1;
}

bool IsPlainFileName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(u"/\\:") == std::u16string_view::npos;
}

int CompareIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) -> int { return (c >= u'A' && c <= u'Z') ? c + 32 : c; };
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int d = fold(a[i]) - fold(b[i]);
        if (d != 0) {
            return d;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace kestrova
