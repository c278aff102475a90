#pragma once
// Where the caret stands and how keys move it. The caret always stands on a byte (offset 0 in an
// empty document): in the hex column on its high or low digit, or in the text column. Moving never
// leaves the data; editing overwrites and never appends.

#include <cstdint>

#include "hex_document.h"

namespace kestrova::hex {

inline constexpr std::uint64_t kBytesPerRow = 16;

enum class HexColumn { Hex, Text };

struct HexCaret {
    std::uint64_t offset = 0;
    HexColumn column = HexColumn::Hex;
    bool lowNibble = false;  // only in the hex column

    std::uint64_t row() const { return offset / kBytesPerRow; }
    bool operator==(const HexCaret&) const = default;
};

enum class CaretMove {
    Left,  // one digit in the hex column, one byte in the text column
    Right,
    Up,  // one row, to the same column of the row
    Down,
    PageUp,  // `pageRows` rows
    PageDown,
    RowStart,      // Home
    RowEnd,        // End
    DataStart,     // Ctrl+Home
    DataEnd,       // Ctrl+End
    SwitchColumn,  // Tab: between the hex and the text column, on the same byte
};

// Characters that stand for themselves in the text column: the printable ones of Latin-1,
// U+0020-U+007E and U+00A0-U+00FF. Other bytes are shown as '.' and cannot be typed there.
constexpr bool IsPrintableLatin1(char16_t c) {
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF);
}

HexCaret MoveCaret(HexCaret caret, CaretMove move, std::uint64_t length, std::uint64_t pageRows);

// Types `character` at the caret: in the hex column a hexadecimal digit (either case) sets the
// digit under the caret and moves on by one digit; in the text column a printable Latin-1
// character sets the byte and moves on by one byte. At the last byte the caret
// stays. Returns false, changing nothing, for any other character.
bool TypeAtCaret(HexDocument& document, HexCaret& caret, char16_t character);

}  // namespace kestrova::hex
