#include "editor/dialogs/modeless_dialog.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>

namespace kestrova {
namespace {

QString Letters() {
    return QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

}  // namespace

DialogUnits::DialogUnits(const QFontMetrics& metrics)
    : averageWidth_((metrics.horizontalAdvance(Letters()) / 26 + 1) / 2),
      height_(metrics.height()) {}

int DialogUnits::x(int units) const {
    return units * averageWidth_ / 4;
}

int DialogUnits::y(int units) const {
    return units * height_ / 8;
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

ModelessDialog::ModelessDialog(const QString& title, int widthUnits, int heightUnits,
                               QWidget* parent)
    : QDialog(parent), units_(QFontMetrics(font())) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(title);
    setFixedSize(units_.x(widthUnits), units_.y(heightUnits));
}

void ModelessDialog::keyPressEvent(QKeyEvent* event) {
    // Swallowed rather than passed on, so that neither presses a button nor closes the dialog.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

QPushButton* ModelessDialog::AddButton(const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(geometry);
    return button;
}

}  // namespace kestrova
