#pragma once
// The small modeless dialogs of the main window: Add Asset, Remove Asset and About. Each is made
// anew on every open and destroys itself when it closes. Enter and Escape do nothing in them: only
// a click on OK or Cancel (or the close box, which cancels) ends one.

#include <QString>

#include "editor/dialogs/modeless_dialog.h"

class QLineEdit;
class QPushButton;

namespace kestrova {

class EditorShell;

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
