#include "editor/shell/ui/qt_file_chooser.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>

namespace kestrova {

QString FilterText(const FileFilter& filter) {
    return QString::fromStdU16String(filter.description);
}

QStringList FilterPatterns(const FileFilter& filter) {
    QStringList patterns;
    for (const QString& pattern :
         QString::fromStdU16String(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    if (patterns.isEmpty()) {
        patterns << QStringLiteral("*");
    }
    return patterns;
}

std::optional<FileChoice> QtFileChooser::Choose(const FileChooserRequest& request) {
    QFileDialog dialog(owner_, QString::fromStdU16String(request.title));
    // The platform's own dialog could not be told to list every file under "*.*".
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Asks before replacing a file; the save dialog does so unless told otherwise.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);

    QStringList texts;
    for (const FileFilter& filter : request.filters) {
        texts << FilterText(filter);
    }
    if (!texts.isEmpty()) {
        dialog.setNameFilters(texts);
    }
    if (!request.initialFolder.empty()) {
        dialog.setDirectory(QString::fromStdU16String(request.initialFolder));
    }
    const QString initialName = QString::fromStdU16String(request.initialName).trimmed();
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    if (request.save && !request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(QString::fromStdU16String(request.defaultExtension));
    }

    // The dialog reads the patterns out of the shown text; the folder listing is then given the
    // request's own patterns, so that "All Files (*.*)" keeps its text and lists every file.
    auto* listing = dialog.findChild<QFileSystemModel*>();
    auto applyPatterns = [&](int index) {
        if (listing != nullptr && index >= 0 && std::size_t(index) < request.filters.size()) {
            listing->setNameFilters(FilterPatterns(request.filters[std::size_t(index)]));
        }
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&](const QString& text) { applyPatterns(int(texts.indexOf(text))); });
    if (!texts.isEmpty()) {
        const std::size_t preselected =
            request.filterIndex >= 1 && request.filterIndex <= request.filters.size()
                ? request.filterIndex - 1
                : 0;
        dialog.selectNameFilter(texts[qsizetype(preselected)]);
        applyPatterns(int(preselected));
    }

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    FileChoice choice;
    choice.path = dialog.selectedFiles().front().toStdU16String();
    const qsizetype chosen = texts.indexOf(dialog.selectedNameFilter());
    choice.filterIndex = chosen >= 0 ? std::uint32_t(chosen + 1) : request.filterIndex;
    return choice;
}

}  // namespace kestrova
