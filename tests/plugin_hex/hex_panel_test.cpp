// The hex panel offscreen, driven by the keyboard and the mouse as a user drives it.

#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include "hex_panel.h"
#include "hex_view.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::hex {
namespace {

TEST(HexPanel, KeyboardEditsBothColumnsAndMarksTheChangedBytes) {
    std::vector<std::uint8_t> bytes(1 << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::vector<std::uint8_t> first = bytes;
    auto document = std::make_shared<HexDocument>(std::move(bytes));
    HexPanel panel(document);
    panel.resize(760, 420);
    panel.show();
    HexView* view = panel.view();
    view->setFocus();
    testing::ProcessEvents();
    // A row is drawn as one text over the cells, so every character it shows is one cell wide.
    EXPECT_EQ(testing::UnequalAdvances(view->font(), testing::PrintableLatin1()), QString());

    QTest::keyClicks(view, "41");
    QTest::keyClick(view, Qt::Key_End);
    QTest::keyClicks(view, "fF");
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClicks(view, "Hi");
    EXPECT_EQ(document->at(0), 0x41);
    EXPECT_EQ(document->at(15), 0xFF);
    EXPECT_EQ(document->at(16), 'H');
    EXPECT_EQ(document->at(17), 'i');
    EXPECT_EQ(document->changedCount(), 4u);
    EXPECT_EQ(view->caret(), (HexCaret{18, HexColumn::Text, false}));
    EXPECT_EQ(panel.status()->text(),
              "Offset: 0x00000012 (18)   Length: 1048576 bytes   Changed: 4 bytes");

    // Changed bytes are painted on another background than the bytes around them, in both columns.
    const QImage image = view->grab().toImage();
    const RowLayout layout(document->size());
    auto background = [&](int cell, int row) {
        return image.pixelColor(view->CellRect(cell, row).topLeft().toPoint() + QPoint(1, 1));
    };
    const QColor base = view->palette().color(QPalette::Base);
    EXPECT_EQ(background(layout.HexCell(2), 0), base);
    EXPECT_EQ(background(layout.TextCell(2), 0), base);
    EXPECT_NE(background(layout.HexCell(0), 0), base);
    EXPECT_NE(background(layout.TextCell(15), 0), base);
    testing::SaveScreenshot(&panel, "hex_panel");

    // Undo takes back the last byte and puts the caret on it.
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document->at(17), first[17]);
    EXPECT_EQ(view->caret().offset, 17u);

    // The view scrolls with the caret over a million bytes, and the scroll bar counts rows.
    const std::uint64_t rows = document->size() / 16;
    const std::uint64_t shown = view->visibleRows();
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->caret().offset, document->size() - 1);
    EXPECT_EQ(view->topRow(), rows - shown);
    EXPECT_EQ(panel.scrollBar()->maximum(), static_cast<int>(rows - shown));
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_PageDown);
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(view->caret().offset, 2 * shown * 16);
    EXPECT_EQ(view->topRow(), shown + 1);
    panel.scrollBar()->setValue(1000);
    EXPECT_EQ(view->topRow(), 1000u);

    // A click on the low digit of a byte puts the caret there; typing overwrites that digit.
    QTest::mouseClick(view, Qt::LeftButton, {},
                      view->CellRect(layout.HexCell(5) + 1, 2).center().toPoint());
    EXPECT_EQ(view->caret(), (HexCaret{1002 * 16 + 5, HexColumn::Hex, true}));
    QTest::keyClicks(view, "0");
    EXPECT_EQ(document->at(1002 * 16 + 5), first[1002 * 16 + 5] & 0xF0);

    // In a panel narrower than a row, the view scrolls sideways to the caret's column.
    panel.resize(300, 420);
    testing::ProcessEvents();
    ASSERT_TRUE(panel.columnScrollBar()->isVisible());
    QTest::keyClick(view, Qt::Key_Tab);
    const QRectF caret = view->CellRect(layout.TextCell(6), 0);
    EXPECT_GE(caret.left(), 0);
    EXPECT_LE(caret.right(), view->width());
    EXPECT_GT(panel.columnScrollBar()->value(), 0);
}

}  // namespace
}  // namespace kestrova::hex
