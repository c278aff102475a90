#include "hex_layout.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace kestrova::hex {
namespace {

constexpr int kMinOffsetDigits = 8;
constexpr int kColumnGap = 2;  // blank cells between the offset, hex and text columns
constexpr char kDigits[] = "0123456789ABCDEF";

// Writes `value` as `digits` upper-case hexadecimal digits into `text` from cell `cell`.
void PutHex(std::string& text, int cell, std::uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(cell + i)] = kDigits[value & 0xF];
        value >>= 4;
    }
}

}  // namespace

RowLayout::RowLayout(std::uint64_t length) : offsetDigits_(kMinOffsetDigits) {
    const std::uint64_t last = length == 0 ? 0 : length - 1;
    while (offsetDigits_ < 16 && (last >> (4 * offsetDigits_)) != 0) {
        ++offsetDigits_;
    }
}

int RowLayout::HexCell(std::uint64_t index) const {
    // Three cells a byte, and one more blank between the two groups of eight.
    const int i = static_cast<int>(index);
    return offsetDigits_ + kColumnGap + 3 * i + (i >= 8 ? 1 : 0);
}

int RowLayout::TextCell(std::uint64_t index) const {
    return HexCell(kBytesPerRow) - 1 + kColumnGap + static_cast<int>(index);
}

std::string RowLayout::FormatRow(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
    std::string row(static_cast<std::size_t>(width()), ' ');
    PutHex(row, 0, offset, offsetDigits_);
    const std::size_t count = std::min<std::size_t>(bytes.size(), kBytesPerRow);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        PutHex(row, HexCell(i), byte, 2);
        row[static_cast<std::size_t>(TextCell(i))] =
            IsPrintableLatin1(byte) ? static_cast<char>(byte) : '.';
    }
    return row;
}

std::string RowLayout::FormatHeading() const {
    std::string heading(static_cast<std::size_t>(width()), ' ');
    heading.replace(0, 6, "Offset");
    for (std::uint64_t i = 0; i < kBytesPerRow; ++i) {
        PutHex(heading, HexCell(i), i, 2);
        PutHex(heading, TextCell(i), i, 1);
    }
    return heading;
}

std::optional<HexCaret> RowLayout::HitTest(std::uint64_t rowOffset, int cell,
                                           std::uint64_t length) const {
    for (std::uint64_t i = 0; i < kBytesPerRow && rowOffset + i < length; ++i) {
        if (cell == HexCell(i) || cell == HexCell(i) + 1) {
            return HexCaret{rowOffset + i, HexColumn::Hex, cell != HexCell(i)};
        }
        if (cell == TextCell(i)) {
            return HexCaret{rowOffset + i, HexColumn::Text, false};
        }
    }
    return std::nullopt;
}

std::string StatusText(const HexCaret& caret, std::uint64_t length, std::size_t changedBytes) {
    char text[160];
    if (length == 0) {
        std::snprintf(text, sizeof text, "Length: 0 bytes");
        return text;
    }
    const int digits = RowLayout(length).offsetDigits();
    int used = std::snprintf(text, sizeof text,
                             "Offset: 0x%0*" PRIX64 " (%" PRIu64 ")   Length: %" PRIu64 " bytes",
                             digits, caret.offset, caret.offset, length);
    if (changedBytes > 0 && used > 0 && static_cast<std::size_t>(used) < sizeof text) {
        std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used),
                      "   Changed: %zu bytes", changedBytes);
    }
    return text;
}

}  // namespace kestrova::hex
