#pragma once
// The byte view of the hex panel. It paints only the rows that are on screen, straight from the
// document, so the cost of a paint and the memory it holds do not grow with the asset: a 64 MiB
// asset has four million rows, of which a screen shows a few dozen. The vertical scroll bar counts
// rows, the horizontal one pixels (for panels narrower than a row); everything that counts bytes
// is 64-bit.

#include <cstdint>
#include <functional>
#include <memory>

#include <QWidget>

#include "hex_caret.h"
#include "hex_document.h"
#include "hex_layout.h"

class QScrollBar;

namespace kestrova::hex {

class HexView : public QWidget {
public:
    // The scroll bars belong to the caller, who places them beside and under the view; the view
    // sets their ranges and follows them. `changed` is called after every caret move and edit.
    HexView(std::shared_ptr<HexDocument> document, QScrollBar* rows, QScrollBar* columns,
            std::function<void()> changed, QWidget* parent = nullptr);

    const HexDocument& document() const { return *document_; }
    const HexCaret& caret() const { return caret_; }
    std::uint64_t topRow() const { return topRow_; }
    // Rows that fit whole below the heading (at least 1): the step of Page Up and Page Down.
    std::uint64_t visibleRows() const;
    // Where `cells` cells from cell `cell` of the `row`-th row on screen (0 = the top one) are
    // painted, in the view's coordinates.
    QRectF CellRect(int cell, int row, int cells = 1) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab and Shift+Tab switch between the hex and the text column instead of leaving the view.
    bool focusNextPrevChild(bool next) override;

private:
    int rowsTop() const;
    qreal CellLeft(int cell) const;
    void UpdateScrollRanges();
    // Scrolls so that the caret's byte is on screen, repaints and reports the change.
    void CaretMoved();
    void PaintCaret(QPainter& painter, const std::string& rowText, int row) const;

    std::shared_ptr<HexDocument> document_;
    QScrollBar* rowBar_;
    QScrollBar* columnBar_;
    std::function<void()> changed_;
    RowLayout layout_;
    HexCaret caret_;
    std::uint64_t topRow_ = 0;
    int leftPixel_ = 0;
    qreal cellWidth_ = 1;
    int lineHeight_ = 1;
};

}  // namespace kestrova::hex
