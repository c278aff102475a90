#pragma once
// The file chooser of the editor: a Qt file dialog for the shell's open and save requests.

#include <QPointer>
#include <QWidget>

#include "editor/shell/file_dialog.h"

namespace kestrova {

class QtFileChooser : public FileChooser {
public:
    // Dialogs are centred on `owner` (may be set later; null until then).
    explicit QtFileChooser(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    std::optional<FileChoice> Choose(const FileChooserRequest& request) override;

private:
    QPointer<QWidget> owner_;
};

// The text a filter shows: its description as given, the pattern in it or not.
QString FilterText(const FileFilter& filter);

// The name patterns a filter stands for when listing a folder. "*.*" means every file, also names
// without any dot, as users of such files expect ("mainData", "level0").
QStringList FilterPatterns(const FileFilter& filter);

}  // namespace kestrova
