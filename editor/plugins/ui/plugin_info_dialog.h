#pragma once
// Plugin > Info: every plug-in of the table by name in a sorted drop-down list and, for the one
// chosen, its author, version, date, asset type, description and instructions. It only reads the
// table, which does not change while the editor runs.

#include "editor/dialogs/modeless_dialog.h"

class QComboBox;
class QPlainTextEdit;

namespace kestrova {

class PluginTable;

class PluginInfoDialog : public ModelessDialog {
    Q_OBJECT
public:
    PluginInfoDialog(const PluginTable& table, QWidget* parent);

    QComboBox* pluginList() const { return list_; }
    QPlainTextEdit* summaryEdit() const { return summary_; }
    QPlainTextEdit* descriptionEdit() const { return description_; }
    QPlainTextEdit* instructionsEdit() const { return instructions_; }

private:
    // Lists every plug-in (item data: its position in the table) and shows the first line's.
    void FillPluginInfo();
    // Shows the texts of the plug-in on the line at `selection`.
    void ShowPluginInfo(int selection);

    const PluginTable& table_;
    QComboBox* list_;
    QPlainTextEdit* summary_;
    QPlainTextEdit* description_;
    QPlainTextEdit* instructions_;
};

}  // namespace kestrova
