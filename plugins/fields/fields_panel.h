#pragma once
// The Fields plug-in's panel: the object's fields in a tree (name, type, value), values edited in
// place; one line above it says why nothing is shown, or why an edit was refused.

#include <QPointer>
#include <QWidget>

#include "plugins/fields/fields_session.h"

class QLabel;
class QTreeView;

namespace kestrova::fields {

class FieldModel;

class FieldsPanel : public QWidget, public FieldsView {
public:
    FieldsPanel(FieldsSession& session, QWidget* parent);
    ~FieldsPanel() override;

    void Reload() override;

private:
    void ShowMessage(const QString& message);

    FieldsSession& session_;
    QPointer<QLabel> message_;
    QPointer<QTreeView> view_;
    FieldModel* model_ = nullptr;
};

}  // namespace kestrova::fields
