#include "hex_view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace kestrova::hex {
namespace {

constexpr int kMargin = 4;
const QColor kChangedColour(255, 205, 130);

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<CaretMove> MoveForKey(int key, bool control) {
    switch (key) {
        case Qt::Key_Left:
            return CaretMove::Left;
        case Qt::Key_Right:
            return CaretMove::Right;
        case Qt::Key_Up:
            return CaretMove::Up;
        case Qt::Key_Down:
            return CaretMove::Down;
        case Qt::Key_PageUp:
            return CaretMove::PageUp;
        case Qt::Key_PageDown:
            return CaretMove::PageDown;
        case Qt::Key_Home:
            return control ? CaretMove::DataStart : CaretMove::RowStart;
        case Qt::Key_End:
            return control ? CaretMove::DataEnd : CaretMove::RowEnd;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return CaretMove::SwitchColumn;
        default:
            return std::nullopt;
    }
}

}  // namespace

HexView::HexView(std::shared_ptr<HexDocument> document, QScrollBar* rows, QScrollBar* columns,
                 std::function<void()> changed, QWidget* parent)
    : QWidget(parent),
      document_(std::move(document)),
      rowBar_(rows),
      columnBar_(columns),
      changed_(std::move(changed)),
      layout_(document_->size()) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    setFont(font);
    // Cells are as wide as the font's own advance, fractions included, so that a row drawn as one
    // text lines up with the cells that are painted under it.
    cellWidth_ = std::max(1.0, QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, fontMetrics().height());
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(rowBar_, &QScrollBar::valueChanged, this, [this](int value) {
        topRow_ = static_cast<std::uint64_t>(std::max(value, 0));
        update();
    });
    connect(columnBar_, &QScrollBar::valueChanged, this, [this](int value) {
        leftPixel_ = value;
        update();
    });
    UpdateScrollRanges();
}

std::uint64_t HexView::visibleRows() const {
    return static_cast<std::uint64_t>(std::max(1, (height() - rowsTop()) / lineHeight_));
}

int HexView::rowsTop() const {
    // The heading, then a rule with a pixel of space on each side.
    return lineHeight_ + 3;
}

qreal HexView::CellLeft(int cell) const {
    return kMargin - leftPixel_ + cell * cellWidth_;
}

QRectF HexView::CellRect(int cell, int row, int cells) const {
    return QRectF(CellLeft(cell), rowsTop() + row * lineHeight_, cells * cellWidth_, lineHeight_);
}

QSize HexView::sizeHint() const {
    return QSize(2 * kMargin + static_cast<int>(std::ceil(layout_.width() * cellWidth_)),
                 rowsTop() + 24 * lineHeight_);
}

void HexView::UpdateScrollRanges() {
    const std::uint64_t rows = (document_->size() + kBytesPerRow - 1) / kBytesPerRow;
    const std::uint64_t shown = visibleRows();
    const std::uint64_t last = rows > shown ? rows - shown : 0;
    rowBar_->setRange(0, static_cast<int>(std::min<std::uint64_t>(last, INT_MAX)));
    rowBar_->setPageStep(static_cast<int>(std::min<std::uint64_t>(shown, INT_MAX)));
    rowBar_->setSingleStep(1);

    const int hidden = std::max(0, sizeHint().width() - width());
    columnBar_->setRange(0, hidden);
    columnBar_->setPageStep(std::max(1, width()));
    columnBar_->setSingleStep(static_cast<int>(std::ceil(cellWidth_)));
    columnBar_->setVisible(hidden > 0);
}

void HexView::CaretMoved() {
    const std::uint64_t row = caret_.row();
    const std::uint64_t shown = visibleRows();
    if (row < topRow_) {
        rowBar_->setValue(static_cast<int>(std::min<std::uint64_t>(row, INT_MAX)));
    } else if (row >= topRow_ + shown) {
        rowBar_->setValue(static_cast<int>(std::min<std::uint64_t>(row - shown + 1, INT_MAX)));
    }
    const std::uint64_t index = caret_.offset % kBytesPerRow;
    const QRectF byte = caret_.column == HexColumn::Hex ? CellRect(layout_.HexCell(index), 0, 2)
                                                        : CellRect(layout_.TextCell(index), 0);
    if (byte.left() < 0) {
        columnBar_->setValue(columnBar_->value() + static_cast<int>(std::floor(byte.left())) -
                             kMargin);
    } else if (byte.right() > width()) {
        columnBar_->setValue(columnBar_->value() + static_cast<int>(std::ceil(byte.right())) -
                             width() + kMargin);
    }
    update();
    if (changed_) {
        changed_();
    }
}

void HexView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const int ascent = fontMetrics().ascent();

    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QPointF(CellLeft(0), ascent), Latin1(layout_.FormatHeading()));
    painter.drawLine(0, lineHeight_ + 1, width(), lineHeight_ + 1);

    const std::uint64_t size = document_->size();
    const int rows = static_cast<int>(std::min<std::uint64_t>(visibleRows() + 1, INT_MAX));
    for (int row = 0; row < rows; ++row) {
        const std::uint64_t offset = (topRow_ + static_cast<std::uint64_t>(row)) * kBytesPerRow;
        if (offset >= size) {
            break;
        }
        const std::span<const std::uint8_t> bytes = document_->Slice(offset, kBytesPerRow);
        if (document_->changed()) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (document_->IsChanged(offset + i)) {
                    painter.fillRect(CellRect(layout_.HexCell(i), row, 2), kChangedColour);
                    painter.fillRect(CellRect(layout_.TextCell(i), row), kChangedColour);
                }
            }
        }
        const std::string text = layout_.FormatRow(offset, bytes);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPointF(CellLeft(0), rowsTop() + row * lineHeight_ + ascent),
                         Latin1(text));
        if (caret_.row() == topRow_ + static_cast<std::uint64_t>(row)) {
            PaintCaret(painter, text, row);
        }
    }
}

void HexView::PaintCaret(QPainter& painter, const std::string& rowText, int row) const {
    const std::uint64_t index = caret_.offset % kBytesPerRow;
    const QRectF hexByte = CellRect(layout_.HexCell(index), row, 2);
    const QRectF textByte = CellRect(layout_.TextCell(index), row);
    const bool inHex = caret_.column == HexColumn::Hex;
    // The column that takes typing shows the caret filled while the view has the keyboard; the
    // other column, and both without the keyboard, show the byte framed.
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect((inHex ? textByte : hexByte).adjusted(0, 0, -1, -1));
    if (!hasFocus()) {
        painter.drawRect((inHex ? hexByte : textByte).adjusted(0, 0, -1, -1));
        return;
    }
    const int cell =
        inHex ? layout_.HexCell(index) + (caret_.lowNibble ? 1 : 0) : layout_.TextCell(index);
    const QRectF caretRect = CellRect(cell, row);
    painter.fillRect(caretRect, palette().color(QPalette::Highlight));
    painter.setPen(palette().color(QPalette::HighlightedText));
    const auto shown = static_cast<unsigned char>(rowText[static_cast<std::size_t>(cell)]);
    painter.drawText(QPointF(caretRect.left(), caretRect.top() + fontMetrics().ascent()),
                     QString(QChar(shown)));
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Undo)) {
        if (const std::optional<std::uint64_t> offset = document_->Undo()) {
            caret_.offset = *offset;
            caret_.lowNibble = false;
            CaretMoved();
        }
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool control = modifiers.testFlag(Qt::ControlModifier);
    if (const std::optional<CaretMove> move = MoveForKey(event->key(), control)) {
        caret_ = MoveCaret(caret_, *move, document_->size(), visibleRows());
        CaretMoved();
        return;
    }
    // Control shortcuts are not typing; AltGr arrives as Control+Alt on some systems and is.
    const QString text = event->text();
    if ((!control || modifiers.testFlag(Qt::AltModifier)) && text.size() == 1 &&
        TypeAtCaret(*document_, caret_, text.at(0).unicode())) {
        CaretMoved();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HexView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const qreal x = at.x() - CellLeft(0);
    if (x < 0 || at.y() < rowsTop()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int cell = static_cast<int>(x / cellWidth_);
    const std::uint64_t row =
        topRow_ + static_cast<std::uint64_t>((at.y() - rowsTop()) / lineHeight_);
    if (const std::optional<HexCaret> hit =
            layout_.HitTest(row * kBytesPerRow, cell, document_->size())) {
        caret_ = *hit;
        CaretMoved();
    }
}

void HexView::wheelEvent(QWheelEvent* event) {
    const bool sideways = event->angleDelta().x() != 0 && event->angleDelta().y() == 0;
    QCoreApplication::sendEvent(sideways ? columnBar_ : rowBar_, event);
}

void HexView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateScrollRanges();
}

void HexView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void HexView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

bool HexView::focusNextPrevChild(bool /*next*/) {
    return false;
}

}  // namespace kestrova::hex
