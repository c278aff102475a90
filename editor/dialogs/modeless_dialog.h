#pragma once
// The base of the editor's small modeless dialogs: sizes in dialog units, deletion on close, and no
// keyboard shortcuts for their buttons (Enter and Escape do nothing; only clicks end a dialog).

#include <QDialog>
#include <QRect>
#include <QString>

class QFontMetrics;
class QKeyEvent;
class QPushButton;

namespace kestrova {

// Dialog units to pixels for a dialog font: x × average character width ÷ 4, y × character
// height ÷ 8, the average taken over the 52 letters A-Z and a-z.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics);
    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int width, int height) const;

private:
    int averageWidth_;
    int height_;
};

// What the three dialogs share: a fixed size in dialog units, deletion on close, and no keyboard
// shortcuts for their buttons.
class ModelessDialog : public QDialog {
    Q_OBJECT
public:
    ModelessDialog(const QString& title, int widthUnits, int heightUnits, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QPushButton* AddButton(const QString& text, const QRect& geometry);
    const DialogUnits& units() const { return units_; }

private:
    DialogUnits units_;
};

}  // namespace kestrova
