#pragma once
// The text of the view, one row at a time, in character cells of a fixed-width font:
//
//   00000010  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP
//
// the row's offset, its sixteen bytes in hex in two groups of eight, and the same bytes as Latin-1
// characters with the unprintable ones shown as '.'. Texts are Latin-1 bytes, one per cell.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "hex_caret.h"

namespace kestrova::hex {

class RowLayout {
public:
    // The layout for data of `length` bytes: eight offset digits, more when an offset needs them.
    explicit RowLayout(std::uint64_t length);

    int offsetDigits() const { return offsetDigits_; }
    // The first cell of byte `index` (0-15 within its row) in the hex column (two cells wide) and
    // in the text column (one cell).
    int HexCell(std::uint64_t index) const;
    int TextCell(std::uint64_t index) const;
    int width() const { return TextCell(kBytesPerRow); }

    // The row that begins at `offset`, showing `bytes` (at most 16; a short last row keeps the
    // text column where the full rows have it).
    std::string FormatRow(std::uint64_t offset, std::span<const std::uint8_t> bytes) const;
    // The column heading: "Offset", the byte numbers 00-0F and the digits of the text column.
    std::string FormatHeading() const;

    // The caret for a click into cell `cell` of the row that begins at `rowOffset`, in data of
    // `length` bytes; none when the cell holds no byte.
    std::optional<HexCaret> HitTest(std::uint64_t rowOffset, int cell, std::uint64_t length) const;

private:
    int offsetDigits_;
};

// The status line: the offset under the caret, the data's length and how many bytes changed.
std::string StatusText(const HexCaret& caret, std::uint64_t length, std::size_t changedBytes);

}  // namespace kestrova::hex
