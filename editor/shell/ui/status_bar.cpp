#include "editor/shell/ui/status_bar.h"

#include <algorithm>

#include <qdrawutil.h>
#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

#include "editor/shell/editor_shell.h"

namespace kestrova {
namespace {

// About one frame of a 60 Hz screen: refreshes closer together than this are folded.
constexpr qint64 kMinPaintIntervalMs = 16;

}  // namespace

StatusBar::StatusBar(const EditorShell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &StatusBar::PaintNow);
    shownText_ = QString::fromStdU16String(shell_.statusText);
    shownProgress_ = shell_.statusProgress;
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, &StatusBar::cancelClicked);
}

void StatusBar::ShowCancel(bool shown) {
    cancel_->setVisible(shown);
    update();
}

void StatusBar::resizeEvent(QResizeEvent* /*event*/) {
    const int buttonWidth = cancel_->sizeHint().width();
    cancel_->setGeometry(width() - kMargin - buttonWidth, kMargin, buttonWidth,
                         height() - 2 * kMargin);
}

QRect StatusBar::progressFrame() const {
    return QRect(kMargin, kMargin, kProgressWidth, height() - 2 * kMargin);
}

QRect StatusBar::progressInside() const {
    // A sunken panel with a line width of 1 takes one pixel on each side.
    return progressFrame().adjusted(1, 1, -1, -1);
}

int StatusBar::doneWidth() const {
    // The product is truncated toward zero; the fraction is the shell's and may lie outside [0, 1]
    // only by a caller's mistake, so the painted part is kept within the surface.
    const float done = static_cast<float>(progressInside().width()) * shownProgress_;
    if (!(done > 0.0f)) {
        return 0;
    }
    return std::min(progressInside().width(), static_cast<int>(done));
}

void StatusBar::Refresh() {
    if (sinceLastPaint_.isValid() && sinceLastPaint_.elapsed() < kMinPaintIntervalMs) {
        if (!flushTimer_.isActive()) {
            flushTimer_.start();
        }
        return;
    }
    PaintNow();
}

void StatusBar::PaintNow() {
    flushTimer_.stop();
    shownText_ = QString::fromStdU16String(shell_.statusText);
    shownProgress_ = shell_.statusProgress;
    sinceLastPaint_.start();
    if (isVisible()) {
        repaint();
    }
}

void StatusBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));

    const QRect frame = progressFrame();
    qDrawShadePanel(&painter, frame, palette(), /*sunken=*/true, 1);
    const QRect inside = progressInside();
    const QColor menuColour = QApplication::palette("QMenu").color(QPalette::Window);
    painter.fillRect(inside, menuColour);
    const int done = doneWidth();
    if (done > 0) {
        painter.fillRect(QRect(inside.left(), inside.top(), done, inside.height()),
                         palette().color(QPalette::Highlight));
    }

    const int textLeft = kMargin + kProgressWidth + kMargin;
    const int textRight = cancel_->isVisible() ? cancel_->x() - kMargin : width();
    const QRect textRect(textLeft, kMargin, textRight - textLeft, height() - 2 * kMargin);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(shownText_, Qt::ElideRight, textRect.width()));
}

}  // namespace kestrova
