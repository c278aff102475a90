#include "plugins/text/text_encoding.h"

namespace kestrova::text {
namespace {

constexpr char16_t kLineSeparator = 0x2028;
constexpr char16_t kParagraphSeparator = 0x2029;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The scalar value whose UTF-8 form starts at `at`, and the count of its bytes; 0 when the bytes
// there are not well-formed.
std::size_t DecodeUtf8At(ByteSpan bytes, std::size_t at, char32_t& value) {
    const std::uint8_t lead = bytes[at];
    if (lead < 0x80) {
        value = lead;
        return 1;
    }
    std::size_t count = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        value = lead & 0x1Fu;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        value = lead & 0x0Fu;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        value = lead & 0x07u;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() - at < count) {
        return 0;
    }
    for (std::size_t k = 1; k < count; ++k) {
        const std::uint8_t next = bytes[at + k];
        if ((next & 0xC0u) != 0x80u) {
            return 0;
        }
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return count;
}

void AppendUtf16(std::u16string& out, char32_t value) {
    if (value < 0x10000) {
        out.push_back(static_cast<char16_t>(value));
    } else {
        value -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    }
}

void AppendUtf8(Bytes& out, char32_t value) {
    if (value < 0x80) {
        out.push_back(static_cast<std::uint8_t>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<std::uint8_t>(0xC0 | (value >> 6)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out.push_back(static_cast<std::uint8_t>(0xE0 | (value >> 12)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xF0 | (value >> 18)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 12) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (value & 0x3F)));
    }
}

// Walks the characters of `text` as Encode stores them: each call of `store` gets one scalar
// value, or nullopt for a character the encoding cannot store.
template <class Store>
void ForEachStored(std::u16string_view text, TextEncoding encoding, Store&& store) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (encoding == TextEncoding::Latin1) {
            store(unit <= 0xFF ? std::optional<char32_t>(unit) : std::nullopt);
        } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            store(std::optional<char32_t>(0x10000 + ((char32_t{unit} - 0xD800) << 10) +
                                          (char32_t{text[i + 1]} - 0xDC00)));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            store(std::optional<char32_t>());
        } else {
            store(std::optional<char32_t>(unit));
        }
    }
}

}  // namespace

bool IsValidUtf8(ByteSpan bytes) {
    char32_t value = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t count = DecodeUtf8At(bytes, at, value);
        if (count == 0) {
            return false;
        }
        at += count;
    }
    return true;
}

std::optional<std::u16string> Decode(ByteSpan bytes, TextEncoding encoding) {
    std::u16string text;
    text.reserve(bytes.size());
    if (encoding == TextEncoding::Latin1) {
        text.assign(bytes.begin(), bytes.end());
        return text;
    }
    char32_t value = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t count = DecodeUtf8At(bytes, at, value);
        if (count == 0) {
            return std::nullopt;
        }
        AppendUtf16(text, value);
        at += count;
    }
    return text;
}

EncodedText Encode(std::u16string_view text, TextEncoding encoding) {
    EncodedText out;
    if (encoding == TextEncoding::Latin1) {
        // One byte per character: the common case of large texts, kept to a plain loop.
        out.bytes.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool storable = text[i] <= 0xFF;
            out.bytes[i] = storable ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{'?'};
            out.unstorable += !storable;
        }
        return out;
    }
    out.bytes.reserve(text.size());
    ForEachStored(text, encoding, [&](std::optional<char32_t> value) {
        if (!value) {
            ++out.unstorable;
            out.bytes.push_back('?');
        } else {
            AppendUtf8(out.bytes, *value);
        }
    });
    return out;
}

std::size_t CountUnstorable(std::u16string_view text, TextEncoding encoding) {
    std::size_t count = 0;
    ForEachStored(text, encoding, [&](std::optional<char32_t> value) { count += !value; });
    return count;
}

LineBreaks DetectLineBreaks(std::u16string_view text) {
    std::size_t crlf = 0;
    std::size_t lf = 0;
    std::size_t cr = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++crlf;
            ++i;
        } else if (text[i] == u'\r') {
            ++cr;
        } else if (text[i] == u'\n') {
            ++lf;
        }
    }
    const int kinds = (crlf > 0) + (lf > 0) + (cr > 0);
    if (kinds > 1) {
        return LineBreaks::Mixed;
    }
    return crlf > 0 ? LineBreaks::CrLf : cr > 0 ? LineBreaks::Cr : LineBreaks::Lf;
}

std::optional<EditorText> ForEditor(ByteSpan bytes, TextEncoding encoding) {
    std::optional<std::u16string> decoded = Decode(bytes, encoding);
    if (!decoded) {
        return std::nullopt;
    }
    EditorText out;
    out.breaks = DetectLineBreaks(*decoded);
    for (char16_t c : *decoded) {
        if (c == kLineSeparator || c == kParagraphSeparator || c == 0xFDD0 || c == 0xFDD1) {
            out.editable = false;
        }
    }
    if (out.breaks == LineBreaks::Mixed) {
        out.editable = false;
    }
    if (!out.editable || out.breaks == LineBreaks::Lf) {
        out.text = std::move(*decoded);
        return out;
    }
    out.text.reserve(decoded->size());
    for (std::size_t i = 0; i < decoded->size(); ++i) {
        const char16_t c = (*decoded)[i];
        if (c != u'\r') {
            out.text.push_back(c);
        } else if (out.breaks == LineBreaks::Cr) {
            out.text.push_back(u'\n');
        }  // in CrLf text the '\n' that follows stays
    }
    return out;
}

EncodedText FromEditor(std::u16string_view text, TextEncoding encoding, LineBreaks breaks) {
    if (breaks == LineBreaks::Lf && text.find(kLineSeparator) == std::u16string_view::npos) {
        return Encode(text, encoding);
    }
    std::u16string stored;
    stored.reserve(text.size());
    for (char16_t c : text) {
        if (c != u'\n' && c != kLineSeparator) {
            stored.push_back(c);
        } else if (breaks == LineBreaks::CrLf) {
            stored.append(u"\r\n");
        } else if (breaks == LineBreaks::Cr) {
            stored.push_back(u'\r');
        } else {
            stored.push_back(u'\n');
        }
    }
    return Encode(stored, encoding);
}

}  // namespace kestrova::text
