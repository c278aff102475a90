#include "hex_caret.h"

#include <algorithm>

namespace kestrova::hex {
namespace {

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// A caret that stands on a byte of data of `length` bytes (offset 0 when there are none).
HexCaret Normalized(HexCaret caret, std::uint64_t length) {
    caret.offset = std::min(caret.offset, length == 0 ? 0 : length - 1);
    caret.lowNibble = caret.lowNibble && caret.column == HexColumn::Hex && length > 0;
    return caret;
}

}  // namespace

HexCaret MoveCaret(HexCaret caret, CaretMove move, std::uint64_t length, std::uint64_t pageRows) {
    const std::uint64_t last = length == 0 ? 0 : length - 1;
    caret = Normalized(caret, length);
    const std::uint64_t column = caret.offset % kBytesPerRow;
    const std::uint64_t row = caret.row();
    const bool inHex = caret.column == HexColumn::Hex;
    const std::uint64_t rows = (move == CaretMove::PageUp || move == CaretMove::PageDown)
                                   ? std::max<std::uint64_t>(pageRows, 1)
                                   : 1;
    switch (move) {
        case CaretMove::Left:
            if (caret.lowNibble) {
                caret.lowNibble = false;
            } else if (caret.offset > 0) {
                --caret.offset;
                caret.lowNibble = inHex;
            }
            break;
        case CaretMove::Right:
            if (inHex && !caret.lowNibble && length > 0) {
                caret.lowNibble = true;
            } else if (caret.offset < last) {
                ++caret.offset;
                caret.lowNibble = false;
            }
            break;
        case CaretMove::Up:
        case CaretMove::PageUp:
            // Every earlier row is full, so the same column exists there.
            caret.offset -= std::min(rows, row) * kBytesPerRow;
            break;
        case CaretMove::Down:
        case CaretMove::PageDown: {
            // The same column of the target row, or the last byte when the last row is shorter.
            const std::uint64_t target = row + std::min(rows, last / kBytesPerRow - row);
            caret.offset = std::min(target * kBytesPerRow + column, last);
            break;
        }
        case CaretMove::RowStart:
            caret.offset -= column;
            caret.lowNibble = false;
            break;
        case CaretMove::RowEnd:
            caret.offset = std::min(caret.offset - column + kBytesPerRow - 1, last);
            caret.lowNibble = false;
            break;
        case CaretMove::DataStart:
            caret.offset = 0;
            caret.lowNibble = false;
            break;
        case CaretMove::DataEnd:
            caret.offset = last;
            caret.lowNibble = false;
            break;
        case CaretMove::SwitchColumn:
            caret.column = inHex ? HexColumn::Text : HexColumn::Hex;
            caret.lowNibble = false;
            break;
    }
    return caret;
}

bool TypeAtCaret(HexDocument& document, HexCaret& caret, char16_t character) {
    const std::uint64_t length = document.size();
    if (length == 0) {
        return false;
    }
    const HexCaret at = Normalized(caret, length);
    if (at.column == HexColumn::Hex) {
        const int digit = HexDigitValue(character);
        if (digit < 0) {
            return false;
        }
        const std::uint8_t old = document.at(at.offset);
        const int value = at.lowNibble ? (old & 0xF0) | digit : (digit << 4) | (old & 0x0F);
        document.Write(at.offset, static_cast<std::uint8_t>(value));
    } else {
        if (!IsPrintableLatin1(character)) {
            return false;
        }
        document.Write(at.offset, static_cast<std::uint8_t>(character));
    }
    caret = MoveCaret(at, CaretMove::Right, length, 1);
    return true;
}

}  // namespace kestrova::hex
