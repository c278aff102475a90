#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "hex_caret.h"
#include "hex_document.h"
#include "hex_layout.h"

namespace kestrova::hex {
namespace {

std::vector<std::uint8_t> Counting(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

// Types `keys` one after another and says which of them were taken.
std::string Type(HexDocument& document, HexCaret& caret, std::u16string_view keys) {
    std::string taken;
    for (char16_t key : keys) {
        taken += TypeAtCaret(document, caret, key) ? '+' : '-';
    }
    return taken;
}

TEST(HexDocument, EditsAndUndoMatchAPlainReference) {
    // Random writes and undos against the obvious model: a copy of the bytes, a stack of the
    // values overwritten, and "changed" as the set of bytes that differ from the first ones.
    std::mt19937 random(7);
    const std::vector<std::uint8_t> first = Counting(64);
    HexDocument document(first);
    std::vector<std::uint8_t> expected = first;
    std::vector<std::pair<std::uint64_t, std::uint8_t>> undo;
    for (int step = 0; step < 4000; ++step) {
        if (random() % 3 == 0) {
            const auto offset = document.Undo();
            ASSERT_EQ(offset.has_value(), !undo.empty());
            if (offset) {
                EXPECT_EQ(*offset, undo.back().first);
                expected[undo.back().first] = undo.back().second;
                undo.pop_back();
            }
        } else {
            // A few values only, so that bytes often return to their first value.
            const std::uint64_t offset = random() % 70;
            const auto value = static_cast<std::uint8_t>(offset + random() % 3 - 1);
            EXPECT_EQ(document.Write(offset, value), offset < 64);
            if (offset < 64 && expected[offset] != value) {
                undo.emplace_back(offset, expected[offset]);
                expected[offset] = value;
            }
        }
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), document.bytes().begin()));
        std::size_t differing = 0;
        for (std::uint64_t i = 0; i < 64; ++i) {
            ASSERT_EQ(document.IsChanged(i), expected[i] != first[i]) << "byte " << i;
            differing += expected[i] != first[i] ? 1 : 0;
        }
        ASSERT_EQ(document.changedCount(), differing);
        ASSERT_EQ(document.changed(), differing > 0);
    }
}

TEST(HexTyping, HexDigitsFillHighThenLowNibbleAndMoveOn) {
    HexDocument document(std::vector<std::uint8_t>{0x00, 0x11, 0x22});
    HexCaret caret;
    EXPECT_EQ(Type(document, caret, u"4a"), "++");
    EXPECT_EQ(document.at(0), 0x4A);
    EXPECT_EQ(caret, (HexCaret{1, HexColumn::Hex, false}));

    // A digit on the low nibble keeps the high one, and upper-case digits count too.
    caret = MoveCaret(caret, CaretMove::Right, document.size(), 1);
    EXPECT_EQ(Type(document, caret, u"F"), "+");
    EXPECT_EQ(document.at(1), 0x1F);

    // Anything but a digit is refused and changes nothing.
    EXPECT_EQ(Type(document, caret, u"gG x\u0660"), "-----");
    EXPECT_EQ(caret, (HexCaret{2, HexColumn::Hex, false}));

    // At the last byte the caret stays on its low digit; overwriting never appends.
    EXPECT_EQ(Type(document, caret, u"789"), "+++");
    EXPECT_EQ(document.at(2), 0x79);
    EXPECT_EQ(document.size(), 3u);
    EXPECT_EQ(caret, (HexCaret{2, HexColumn::Hex, true}));
}

TEST(HexTyping, TextColumnTakesPrintableLatin1Only) {
    HexDocument document(std::vector<std::uint8_t>(4, 0x00));
    HexCaret caret{0, HexColumn::Text, false};
    EXPECT_EQ(Type(document, caret, u"A\u00e9\u20ac\u0009\u0085~!"), "++---++");
    EXPECT_EQ(document.at(0), 0x41);
    EXPECT_EQ(document.at(1), 0xE9);
    EXPECT_EQ(document.at(2), '~');
    EXPECT_EQ(document.at(3), '!');
    EXPECT_EQ(caret, (HexCaret{3, HexColumn::Text, false}));

    HexDocument empty;
    HexCaret start;
    EXPECT_EQ(Type(empty, start, u"1A"), "--");
    EXPECT_FALSE(empty.changed());
}

struct MoveCase {
    HexCaret from;
    CaretMove move;
    HexCaret to;
};

TEST(HexCaretMoves, KeysStopAtTheEndsOfFortyBytes) {
    // Forty bytes: rows at 0, 16 and 32; the last row holds eight bytes (32-39).
    constexpr auto H = HexColumn::Hex;
    constexpr auto T = HexColumn::Text;
    const MoveCase cases[] = {
        {{39, H, true}, CaretMove::Right, {39, H, true}},
        {{3, H, true}, CaretMove::Up, {3, H, true}},
        {{20, H, true}, CaretMove::Up, {4, H, true}},
        {{20, T, false}, CaretMove::Down, {36, T, false}},
        {{28, H, false}, CaretMove::Down, {39, H, false}},
        {{36, H, false}, CaretMove::Down, {36, H, false}},
        {{3, H, false}, CaretMove::PageDown, {35, H, false}},
        {{35, H, false}, CaretMove::PageUp, {3, H, false}},
        {{21, H, true}, CaretMove::RowStart, {16, H, false}},
        {{21, H, false}, CaretMove::RowEnd, {31, H, false}},
        {{33, T, false}, CaretMove::RowEnd, {39, T, false}},
        {{21, H, true}, CaretMove::DataStart, {0, H, false}},
        {{21, T, false}, CaretMove::DataEnd, {39, T, false}},
        {{21, H, true}, CaretMove::SwitchColumn, {21, T, false}},
        {{21, T, false}, CaretMove::SwitchColumn, {21, H, false}},
        // A caret left beyond the data (the data shrank under it) comes back onto the last byte.
        {{99, T, true}, CaretMove::Left, {38, T, false}},
    };
    for (const MoveCase& c : cases) {
        EXPECT_EQ(MoveCaret(c.from, c.move, 40, 10), c.to)
            << "from " << c.from.offset << " by move " << static_cast<int>(c.move);
    }
}

TEST(HexCaretMoves, StayOnTheDataAndWalkEveryDigitForEveryLength) {
    const CaretMove moves[] = {CaretMove::Left,     CaretMove::Right,       CaretMove::Up,
                               CaretMove::Down,     CaretMove::PageUp,      CaretMove::PageDown,
                               CaretMove::RowStart, CaretMove::RowEnd,      CaretMove::DataStart,
                               CaretMove::DataEnd,  CaretMove::SwitchColumn};
    std::mt19937 random(11);
    for (std::uint64_t length = 0; length <= 50; ++length) {
        const std::uint64_t last = length == 0 ? 0 : length - 1;
        HexCaret caret;
        for (int step = 0; step < 2000; ++step) {
            caret = MoveCaret(caret, moves[random() % std::size(moves)], length, 1 + random() % 4);
            ASSERT_LE(caret.offset, last) << "length " << length;
            ASSERT_TRUE(!caret.lowNibble || (caret.column == HexColumn::Hex && length > 0));
        }
        // Right visits every digit of the hex column (every byte of the text column) in order
        // and then stays; Left walks the same way back.
        for (const HexColumn column : {HexColumn::Hex, HexColumn::Text}) {
            const std::uint64_t stops = column == HexColumn::Hex ? 2 * length : length;
            std::vector<HexCaret> walk{{0, column, false}};
            for (std::uint64_t i = 0; i < stops + 2; ++i) {
                walk.push_back(MoveCaret(walk.back(), CaretMove::Right, length, 1));
            }
            for (std::uint64_t i = 0; i < walk.size(); ++i) {
                const std::uint64_t stop = std::min(i, stops == 0 ? 0 : stops - 1);
                const std::uint64_t perByte = column == HexColumn::Hex ? 2 : 1;
                EXPECT_EQ(walk[i], (HexCaret{stop / perByte, column, stop % perByte == 1}))
                    << "length " << length << " step " << i;
            }
            HexCaret back = walk.back();
            for (std::uint64_t i = 0; i < stops + 2; ++i) {
                back = MoveCaret(back, CaretMove::Left, length, 1);
            }
            EXPECT_EQ(back, (HexCaret{0, column, false}));
        }
    }
}

TEST(HexCaretMoves, CountInSixtyFourBits) {
    const std::uint64_t length = (5ull << 30) + 3;  // five GiB and three bytes
    const std::uint64_t last = length - 1;
    HexCaret caret = MoveCaret({}, CaretMove::DataEnd, length, 40);
    EXPECT_EQ(caret.offset, last);
    EXPECT_EQ(caret.row(), last / 16);
    caret = MoveCaret({7, HexColumn::Hex, false}, CaretMove::PageDown, length, ~0ull);
    EXPECT_EQ(caret.offset, last);
    caret = MoveCaret({last - 32, HexColumn::Hex, false}, CaretMove::Down, length, 1);
    EXPECT_EQ(caret.offset, last - 16);
    caret = MoveCaret(caret, CaretMove::PageUp, length, 1ull << 26);
    EXPECT_EQ(caret.offset, last - 16 - (1ull << 30));
    caret = MoveCaret(caret, CaretMove::PageUp, length, 1ull << 40);
    EXPECT_EQ(caret.offset, (last - 16) % 16);
}

TEST(HexRows, ShowOffsetHexAndLatin1Text) {
    const RowLayout layout(1000);
    std::vector<std::uint8_t> bytes = {'H',  'e',  'x',  ' ',  0x00, 0x1F, 0x7F, 0x80,
                                       0x9F, 0xA0, 0xE9, 0xFF, '0',  '~',  0x0A, 0x41};
    std::string expected = "000003E0  48 65 78 20 00 1F 7F 80  9F A0 E9 FF 30 7E 0A 41  Hex .....";
    expected +=
        "\xA0\xE9\xFF"
        "0~.A";
    EXPECT_EQ(layout.FormatRow(0x3E0, bytes), expected);
    EXPECT_EQ(layout.FormatHeading(),
              "Offset    00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  0123456789ABCDEF");

    // A short last row keeps the text column where the full rows have it.
    EXPECT_EQ(layout.FormatRow(0x3E0, std::span(bytes).first(3)),
              "000003E0  48 65 78" + std::string(42, ' ') + "Hex" + std::string(13, ' '));
    EXPECT_EQ(layout.FormatRow(0, {}).size(), expected.size());
}

TEST(HexRows, OffsetsWidenBeyondFourGibibytes) {
    EXPECT_EQ(RowLayout(0).offsetDigits(), 8);
    EXPECT_EQ(RowLayout(1ull << 32).offsetDigits(), 8);
    EXPECT_EQ(RowLayout((1ull << 32) + 1).offsetDigits(), 9);
    EXPECT_EQ(RowLayout(~0ull).offsetDigits(), 16);
    const RowLayout layout((5ull << 30) + 3);
    const std::string row = layout.FormatRow(0x123456780ull, std::vector<std::uint8_t>{0xAB});
    EXPECT_EQ(row.substr(0, 14), "123456780  AB ");
    EXPECT_EQ(StatusText({0x123456789ull, HexColumn::Text, false}, (5ull << 30) + 3, 2),
              "Offset: 0x123456789 (4886718345)   Length: 5368709123 bytes   Changed: 2 bytes");
    EXPECT_EQ(StatusText({26, HexColumn::Hex, true}, 1024, 0),
              "Offset: 0x0000001A (26)   Length: 1024 bytes");
    EXPECT_EQ(StatusText({}, 0, 0), "Length: 0 bytes");
}

TEST(HexRows, HitTestFindsTheByteOfEveryCellItPaints) {
    const RowLayout layout(100);
    const std::string row = layout.FormatRow(96, Counting(4));  // the last row: bytes 96-99
    for (int cell = -1; cell <= layout.width(); ++cell) {
        const auto hit = layout.HitTest(96, cell, 100);
        if (!hit) {
            // Only blanks, the offset and the cells of missing bytes give no caret.
            const bool offsetCell = cell >= 0 && cell < layout.offsetDigits();
            EXPECT_TRUE(cell < 0 || cell >= layout.width() || offsetCell || row[cell] == ' ')
                << "cell " << cell;
            continue;
        }
        const std::uint64_t index = hit->offset - 96;
        ASSERT_LT(index, 4u);
        if (hit->column == HexColumn::Hex) {
            EXPECT_EQ(cell, layout.HexCell(index) + (hit->lowNibble ? 1 : 0));
        } else {
            EXPECT_EQ(cell, layout.TextCell(index));
        }
    }
}

}  // namespace
}  // namespace kestrova::hex
