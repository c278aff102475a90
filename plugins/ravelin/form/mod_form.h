#pragma once
// The mod form: Ravelin's panel inside the editor's window. It shows the session's state and
// hands every edit, choice and button press to the session, then refreshes from it. Nothing is
// decided here.

#include <cstddef>
#include <functional>
#include <map>

#include <QWidget>

#include "plugins/ravelin/core/form_services.h"
#include "plugins/ravelin/core/mod_session.h"

class QComboBox;
class QListWidget;
class QPlainTextEdit;

namespace kestrova::ravelin {

class WorkDialog;

// The dialogs the form opens, one object for the three kinds.
struct FormDialogs {
    MessageSink& messages;
    FileChooser& files;
    FolderChooser& folders;
};

class ModForm : public QWidget {
    Q_OBJECT

public:
    // A child of `parent`, filled from `session`; both must outlive the form. Destroying the form
    // ends it in the session (its lists and the handed-over data are released).
    ModForm(QWidget* parent, ModSession& session, FormDialogs dialogs);
    ~ModForm() override;

    // Shows the session's texts and entries again.
    void Refresh();

    // The control with one of the form's ids (ControlId), for the tests.
    QWidget* control(int id) const;
    // Where Save Mod, Open Mod and Package Mod run their copy.
    WorkDialog* work() const { return work_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    template <typename Control>
    Control* Make(int id);
    void AddLabel(int id, const char* text);
    void AddEdit(int id, ModField field, std::size_t capacity);
    // A push button whose action is followed by a refresh, whatever the action did.
    void AddButton(int id, const char* text, std::function<void()> action);
    void ShowSelections();

    ModSession& session_;
    FormDialogs dialogs_;
    std::map<int, QWidget*> controls_;
    QPlainTextEdit* description_ = nullptr;
    QListWidget* files_ = nullptr;
    QComboBox* templates_ = nullptr;
    QComboBox* installers_ = nullptr;
    bool refreshing_ = false;
    WorkDialog* work_ = nullptr;
};

}  // namespace kestrova::ravelin
