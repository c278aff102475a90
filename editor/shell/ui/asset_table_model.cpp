#include "editor/shell/ui/asset_table_model.h"

#include <array>
#include <climits>

#include "editor/shell/editor_shell.h"

namespace kestrova {

AssetTableModel::AssetTableModel(const EditorShell& shell, QObject* parent)
    : QAbstractTableModel(parent), shell_(shell) {}

int AssetTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    // A view counts rows in int; a table beyond that is not shown past its limit.
    const std::size_t rows = shell_.rowCount();
    return rows > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(rows);
}

int AssetTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant AssetTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return QString::fromStdU16String(
        shell_.cellText(static_cast<std::size_t>(index.row()), index.column()));
}

QVariant AssetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const std::array<const char*, kColumnCount> kTitles{"Name", "Type", "Index", "Size"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount) {
        return {};
    }
    return QString::fromLatin1(kTitles[static_cast<std::size_t>(section)]);
}

void AssetTableModel::Reset() {
    beginResetModel();
    endResetModel();
}

}  // namespace kestrova
