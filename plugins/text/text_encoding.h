#pragma once
// How the bytes of a text become the characters an editor shows, and back. Latin-1 maps every
// byte 0-255 to the character U+0000-U+00FF, so any bytes survive; UTF-8 is offered for bytes
// that are well-formed UTF-8 and then stores the text as UTF-8 again.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "plugins/support/body_bytes.h"

namespace kestrova::text {

using plugin::Bytes;
using plugin::ByteSpan;

enum class TextEncoding { Latin1, Utf8 };

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, nothing cut off.
bool IsValidUtf8(ByteSpan bytes);

// The characters of `bytes`; nullopt for bytes that are not valid UTF-8 when UTF-8 is asked.
std::optional<std::u16string> Decode(ByteSpan bytes, TextEncoding encoding);

struct EncodedText {
    Bytes bytes;
    // Characters the encoding cannot store (above U+00FF in Latin-1, unpaired surrogates in
    // UTF-8); each was stored as '?'.
    std::size_t unstorable = 0;
};
EncodedText Encode(std::u16string_view text, TextEncoding encoding);
std::size_t CountUnstorable(std::u16string_view text, TextEncoding encoding);

// The line breaks of a text. A plain-text editor holds every break as one '\n': a text whose
// breaks are all alike is shown that way and written back with its own kind of break.
enum class LineBreaks { Lf, CrLf, Cr, Mixed };
LineBreaks DetectLineBreaks(std::u16string_view text);

struct EditorText {
    std::u16string text;  // every line break as '\n'
    LineBreaks breaks = LineBreaks::Lf;
    // False when the editor could not give the text back as it is: mixed line breaks, or a
    // character that an editor keeps for its own structure (U+2028, U+2029, U+FDD0, U+FDD1).
    // Such a text is shown but not edited.
    bool editable = true;
};

// The text of `bytes` as the editor shows it; nullopt when the bytes are not valid in `encoding`.
std::optional<EditorText> ForEditor(ByteSpan bytes, TextEncoding encoding);

// What the editor's `text` stores as: each '\n' (and U+2028, the editor's line break within a
// paragraph) written as `breaks` says, then encoded.
EncodedText FromEditor(std::u16string_view text, TextEncoding encoding, LineBreaks breaks);

}  // namespace kestrova::text
