#pragma once
// Conversions between the program's wide text (UTF-16 code units in char16_t) and bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// Bytes 0-255 become the characters U+0000-U+00FF, one for one.
std::u16string Latin1ToUtf16(std::string_view bytes);

// Characters U+0000-U+00FF become the byte of the same value. Returns false when the text holds
// a character above U+00FF; such characters are then written as '?' so that `out` stays usable.
bool Utf16ToLatin1(std::u16string_view text, std::string& out);

// The operating system's encoding of file names and messages (UTF-8 here). Unpaired surrogates
// become U+FFFD; invalid UTF-8 bytes become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// A text cut to fit a field of `capacity` code units including the terminator.
std::u16string CopyLimited(std::u16string_view text, std::size_t capacity);

// Plain ASCII literals as wide text, and decimal numbers as wide text ("%i", "%u").
std::u16string Ascii(std::string_view ascii);
std::u16string DecimalText(std::int64_t value);

// "0x%08X": eight upper-case hexadecimal digits after 0x.
std::u16string HexWordText(std::uint32_t value);

// Where the file name of `path` begins: after its last slash or backslash (0 when it has none).
// Paths from either platform's conventions are split the same way.
std::size_t FileNameStart(std::u16string_view path);

// True for a bare file name that stays inside its folder: not empty, no slash, backslash or drive
// colon, and not "." or "..".
bool IsPlainFileName(std::u16string_view name);

// Case-insensitive comparison of the letters A-Z only, as the C library does in the "C" locale.
// Returns <0, 0 or >0 like wcscmp.
int CompareIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace kestrova
