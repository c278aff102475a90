#pragma once
// Numbers typed into dialogs or written in descriptor files, read the way the window system's
// dialog helpers and the C library read them, so that the same text gives the same value on every
// platform.

#include <cstdint>
#include <string_view>

namespace kestrova {

// An unsigned decimal number with optional leading white space and nothing after it. Text that is
// not such a number, or a number above 4294967295, reads as 0.
std::uint32_t ReadDialogUnsigned(std::u16string_view text);

// A number as wcstoul reads it into a 32-bit unsigned long, in `base` 10 or 16, or in base 0:
// leading white space, an optional sign, then "0x"/"0X" hexadecimal (also accepted in base 16), in
// base 0 a leading 0 octal, otherwise decimal; reading stops at the first character that does not
// fit; no digits give 0; overflow gives 4294967295; a minus sign negates modulo 2^32.
std::uint32_t ReadUnsignedNumber(std::u16string_view text, unsigned base);

// The type field of the Add Asset dialog: base 0.
inline std::uint32_t ReadTypeNumber(std::u16string_view text) {
    return ReadUnsignedNumber(text, 0);
}

}  // namespace kestrova
