#include "plugins/ravelin/form/qt_form_dialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>

namespace kestrova::ravelin {

namespace {

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<std::u16string> Chosen(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdU16String();
}

}  // namespace

void QtFormDialogs::Warn(std::u16string_view caption, std::u16string_view text) {
    QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok);
    box.exec();
}

std::optional<std::u16string> QtFormDialogs::Choose(const FileRequest& request) {
    QFileDialog dialog(nullptr, Q(request.title));
    // Qt's own dialog, so that "*.*" can list names without a dot too.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList descriptions;
    for (const FileFilter& filter : request.filters) {
        descriptions << Q(filter.description);
    }
    dialog.setNameFilters(descriptions);
    // The dialog takes its patterns from the descriptions; the listing gets the filter's own,
    // where "*.*" means every file.
    auto* listing = dialog.findChild<QFileSystemModel*>();
    auto listFilter = [&](const QString& description) {
        const qsizetype i = descriptions.indexOf(description);
        if (listing != nullptr && i >= 0) {
            const QString pattern = Q(request.filters[std::size_t(i)].pattern);
            listing->setNameFilters(
                {pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern});
        }
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, listFilter);
    if (!descriptions.isEmpty()) {
        listFilter(descriptions.front());
    }
    return Chosen(dialog);
}

std::optional<std::u16string> QtFormDialogs::ChooseFolder(std::u16string_view title) {
    QFileDialog dialog(nullptr, Q(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return Chosen(dialog);
}

}  // namespace kestrova::ravelin
