#pragma once
// The Find dialog: a query, the way to read it, a Find button, the sorted list of the assets that
// hold the value and a status line. A click on Find searches the working copy; choosing a line
// selects that asset in the main list, found by the pathId its Index column shows. Enter and
// Escape do nothing: only a click on Find searches, and the close box closes. A working copy large
// enough to take a while is searched on the window's task runner: the window keeps answering, the
// status line shows the progress, and a cancelled search keeps the results that were shown.

#include <cstdint>

#include "common/outcome.h"
#include "common/string_list.h"
#include "editor/dialogs/modeless_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrova {

class EditorShell;
class TaskRunner;

class FindDialog : public ModelessDialog {
    Q_OBJECT
public:
    // The mode labels in mode order.
    static const char* const kModeLabels[8];
    static constexpr int kQueryCapacity = 255;  // characters of a query

    // Working copies of at least this many bytes are searched on `runner` when there is one.
    static constexpr std::uint64_t kBackgroundBytes = std::uint64_t{8} << 20;

    FindDialog(EditorShell& shell, QWidget* parent, TaskRunner* runner = nullptr);
    ~FindDialog() override;

    QLineEdit* queryEdit() const { return queryEdit_; }
    QPushButton* findButton() const { return findButton_; }
    QComboBox* modeBox() const { return modeBox_; }
    QListWidget* resultList() const { return resultList_; }
    QLabel* statusLine() const { return statusLine_; }
    // The results of the last search, in the order found; a line's item data is its entry here.
    const StringList& results() const { return results_; }

    // The mode the search would use: the chosen entry, or -1 when the text was typed.
    int selectedMode() const;

private:
    void RunSearch();
    // Shows what a search of `query` found; `outcome` says whether it was refused or stopped.
    void ShowSearched(const Outcome& outcome);
    void RefreshFindResults();
    void ChooseResult();
    // Replaces the status text and paints it at once: the search blocks the event loop.
    void ShowStatus(const QString& text);

    EditorShell& shell_;
    TaskRunner* runner_;
    StringList results_;
    QLineEdit* queryEdit_;
    QPushButton* findButton_;
    QComboBox* modeBox_;
    QListWidget* resultList_;
    QLabel* statusLine_;
    bool modeTyped_ = false;
    bool refreshing_ = false;
    bool searching_ = false;  // a search of this dialog runs on the runner
};

}  // namespace kestrova
