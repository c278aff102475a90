#pragma once
// The asset list's rows as a Qt model. It owns nothing: every row and cell is asked of the shell
// when the view paints it, so a file of a million assets costs no widget and no item per asset.

#include <QAbstractTableModel>

namespace kestrova {

class EditorShell;

class AssetTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 4;  // Name, Type, Index, Size

    explicit AssetTableModel(const EditorShell& shell, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The shell's rows were rebuilt or re-sorted.
    void Reset();

private:
    const EditorShell& shell_;
};

}  // namespace kestrova
