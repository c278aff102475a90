#pragma once
// The left-hand panel of the main window: the asset list over the shell's rows, and the three
// mode buttons under it. Clicks, right-clicks, the Up/Down keys, header clicks and button clicks
// become the shell's commands; the panel decides nothing itself.

#include <array>

#include <QTreeView>
#include <QWidget>

class QButtonGroup;
class QMenu;
class QPushButton;

namespace kestrova {

class AssetTableModel;
class EditorShell;
enum class PanelMode : std::int32_t;

// The list view: reports row clicks, context clicks and arrow keys with the row they concern
// (-1 when there is none) before the view moves its own focus.
class AssetListView : public QTreeView {
    Q_OBJECT
public:
    explicit AssetListView(QWidget* parent = nullptr);

signals:
    void rowClicked(int row);
    void rowContextClicked(int row, const QPoint& globalPos);
    // The row that becomes focused: the focused row - 1 for Up, + 1 for Down (0 without focus).
    void rowKeyed(int row);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

class ListPanel : public QWidget {
    Q_OBJECT
public:
    // `assetMenu` is shown as the context menu; its actions reach the main window as from the
    // menu bar.
    ListPanel(EditorShell& shell, QMenu* assetMenu, QWidget* parent = nullptr);
    ~ListPanel() override;

    // The shell's rows changed: shows them afresh and sets the mode buttons from the mode.
    void RowsChanged();
    // Keeps the columns' current widths in the preferences.
    void StoreColumnWidths();

    AssetListView* view() const { return view_; }
    AssetTableModel* model() const { return model_; }
    QPushButton* modeButton(PanelMode mode) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SyncModeButtons();
    // Shows `row` as the selected and focused row without selecting its asset again.
    void Highlight(int row);
    void SortByColumn(int column);
    void Select(int row);
    void ShowContextMenu(int row, const QPoint& globalPos);

    EditorShell& shell_;
    QMenu* assetMenu_;
    AssetTableModel* model_;
    AssetListView* view_;
    QButtonGroup* modeGroup_;
    std::array<QPushButton*, 3> modeButtons_{};
};

}  // namespace kestrova
