#pragma once
// The small modeless dialogs of the main window: Add Asset, Remove Asset and About. Each is made
// anew on every open and destroys itself when it closes. Enter and Escape do nothing in them: only
// a click on OK or Cancel (or the close box, which cancels) ends one.

#include <QDialog>
#include <QRect>
#include <QString>

class QFontMetrics;
class QLineEdit;
class QPushButton;

namespace kestrova {

class EditorShell;

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

class AddAssetDialog : public ModelessDialog {
    Q_OBJECT
public:
    AddAssetDialog(EditorShell& shell, QWidget* parent);

    QLineEdit* nameEdit() const { return nameEdit_; }
    QLineEdit* indexOffsetEdit() const { return indexOffsetEdit_; }
    QLineEdit* typeEdit() const { return typeEdit_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    void Accept();

    EditorShell& shell_;
    QLineEdit* nameEdit_;
    QLineEdit* indexOffsetEdit_;
    QLineEdit* typeEdit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

class RemoveAssetDialog : public ModelessDialog {
    Q_OBJECT
public:
    RemoveAssetDialog(EditorShell& shell, QWidget* parent);

    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    void Accept();

    EditorShell& shell_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

class AboutDialog : public ModelessDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent);

    // The program's name, version, what it does and the year, one per line.
    static QString Text();
};

}  // namespace kestrova
