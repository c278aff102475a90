#include "plugins/fields/fields_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include "plugins/fields/field_model.h"

namespace kestrova::fields {

FieldsPanel::FieldsPanel(FieldsSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("fieldsPanel"));
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("fieldsMessage"));
    message_->setWordWrap(true);
    layout->addWidget(message_);

    model_ = new FieldModel(
        session_, [this](const QString& refusal) { ShowMessage(refusal); }, this);
    view_ = new QTreeView(this);
    view_->setObjectName(QStringLiteral("fieldsView"));
    // Every row is one line high: the view then never measures rows it does not show.
    view_->setUniformRowHeights(true);
    view_->setAlternatingRowColors(true);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    view_->setModel(model_);
    view_->header()->setStretchLastSection(true);
    view_->setColumnWidth(FieldModel::NameColumn, 220);
    view_->setColumnWidth(FieldModel::TypeColumn, 160);
    layout->addWidget(view_, 1);
    layout->addStretch();  // keeps the line at the top while the tree is hidden

    session_.Attach(this);
    Reload();
}

FieldsPanel::~FieldsPanel() {
    session_.Detach(this);
}

void FieldsPanel::Reload() {
    model_->Reset();
    const bool ready = session_.state() == FieldsSession::State::Ready;
    view_->setVisible(ready);
    ShowMessage(ready ? QString() : QString::fromStdString(session_.message()));
}

void FieldsPanel::ShowMessage(const QString& message) {
    message_->setText(message);
    message_->setVisible(!message.isEmpty());
}

}  // namespace kestrova::fields
