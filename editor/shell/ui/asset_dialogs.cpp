#include "editor/shell/ui/asset_dialogs.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editor/shell/editor_shell.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace kestrova {
namespace {

// The edits take at most this many characters, as the commands read them.
constexpr int kFieldCapacity = 255;

QLineEdit* AddEdit(QWidget* parent, const QRect& geometry, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(kFieldCapacity);
    edit->setGeometry(geometry);
    return edit;
}

QLabel* AddLabel(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

AddAssetDialog::AddAssetDialog(EditorShell& shell, QWidget* parent)
    : ModelessDialog(QStringLiteral("Add Asset"), 286, 156, parent), shell_(shell) {
    AddLabel(this, QStringLiteral("Asset Name"), units().rect(7, 7, 200, 15));
    nameEdit_ = AddEdit(this, units().rect(7, 25, 272, 22), "nameEdit");
    AddLabel(this, QStringLiteral("Asset Index Offset"), units().rect(7, 50, 200, 15));
    indexOffsetEdit_ = AddEdit(this, units().rect(7, 69, 272, 22), "indexOffsetEdit");
    AddLabel(this, QStringLiteral("Asset Type"), units().rect(7, 92, 200, 15));
    typeEdit_ = AddEdit(this, units().rect(7, 111, 272, 22), "typeEdit");
    okButton_ = AddButton(QStringLiteral("OK"), units().rect(178, 135, 50, 14));
    cancelButton_ = AddButton(QStringLiteral("Cancel"), units().rect(229, 135, 50, 14));
    connect(okButton_, &QPushButton::clicked, this, &AddAssetDialog::Accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::close);
}

void AddAssetDialog::Accept() {
    shell_.AddAsset(nameEdit_->text().toStdU16String(), indexOffsetEdit_->text().toStdU16String(),
                    typeEdit_->text().toStdU16String());
    close();
}

RemoveAssetDialog::RemoveAssetDialog(EditorShell& shell, QWidget* parent)
    : ModelessDialog(QStringLiteral("Remove Asset"), 261, 60, parent), shell_(shell) {
    AddLabel(this, QStringLiteral("Are you sure you wish to remove this asset?"),
             units().rect(7, 7, 247, 15));
    okButton_ = AddButton(QStringLiteral("OK"), units().rect(153, 39, 50, 14));
    cancelButton_ = AddButton(QStringLiteral("Cancel"), units().rect(204, 39, 50, 14));
    connect(okButton_, &QPushButton::clicked, this, &RemoveAssetDialog::Accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::close);
}

void RemoveAssetDialog::Accept() {
    // Acts on the current asset as it is now: the dialog does not name one.
    shell_.RemoveAsset();
    close();
}

AboutDialog::AboutDialog(QWidget* parent)
    : ModelessDialog(QStringLiteral("About Kestrova"), 212, 183, parent) {
    auto* text = AddLabel(this, Text(), units().rect(7, 7, 198, 169));
    text->setObjectName(QStringLiteral("aboutText"));
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
}

QString AboutDialog::Text() {
    return QStringLiteral("Kestrova\nVersion " KESTROVA_VERSION
                          "\n\nOpens Unity asset files, lists their assets, and lets you "
                          "export, import, add and remove them.\n\n2026");
}

}  // namespace kestrova
