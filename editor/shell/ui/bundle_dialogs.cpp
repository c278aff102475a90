#include "editor/shell/ui/bundle_dialogs.h"

#include <QInputDialog>
#include <QLocale>
#include <QStringList>

#include <array>
#include <utility>

namespace kestrova {

namespace {

// A modal list of `items`; the index chosen.
std::optional<std::size_t> AskFromList(QWidget* parent, const QString& title, const QString& label,
                                       const QStringList& items) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setComboBoxItems(items);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const qsizetype index = items.indexOf(dialog.textValue());
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

}  // namespace

std::optional<std::size_t> AskBundleMember(QWidget* parent, std::u16string_view bundle,
                                           const std::vector<BundleNode>& members) {
    QStringList items;
    for (const BundleNode& node : members) {
        items << QString::fromLatin1(node.path.data(), static_cast<qsizetype>(node.path.size())) +
                     QStringLiteral("  (") +
                     QLocale().toString(static_cast<qulonglong>(node.size)) +
                     QStringLiteral(" bytes)");
    }
    return AskFromList(
        parent, QStringLiteral("Open Bundle Member"),
        QStringLiteral("%1 holds several serialized files. Open which one?")
            .arg(QString::fromUtf16(bundle.data(), static_cast<qsizetype>(bundle.size()))),
        items);
}

std::optional<bundle::ChosenCompression> AskBundleCompression(QWidget* parent) {
    using bundle::ChosenCompression;
    static constexpr std::array<std::pair<const char*, ChosenCompression>, 5> kChoices{{
        {"As the original", ChosenCompression::AsOriginal},
        {"LZ4HC", ChosenCompression::Lz4hc},
        {"LZ4", ChosenCompression::Lz4},
        {"LZMA", ChosenCompression::Lzma},
        {"Stored (no compression)", ChosenCompression::Stored},
    }};
    QStringList items;
    for (const auto& choice : kChoices) {
        items << QString::fromLatin1(choice.first);
    }
    const std::optional<std::size_t> index =
        AskFromList(parent, QStringLiteral("Save Bundle"),
                    QStringLiteral("Compress the bundle's data with:"), items);
    if (!index) {
        return std::nullopt;
    }
    return kChoices[*index].second;
}

}  // namespace kestrova
