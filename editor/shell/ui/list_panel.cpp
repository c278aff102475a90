#include "editor/shell/ui/list_panel.h"

#include <algorithm>

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

#include "editor/shell/editor_shell.h"
#include "editor/shell/ui/asset_table_model.h"

namespace kestrova {
namespace {

// Layout of the panel's inside, in pixels.
constexpr int kListMargin = 8;
constexpr int kButtonHeight = 32;
constexpr int kButtonBand = 56;  // space under the list: the buttons and their margins
constexpr int kButtonTopFromBottom = 40;
constexpr int kButtonShrink = 12;

int RowOf(const QModelIndex& index) {
    return index.isValid() ? index.row() : -1;
}

}  // namespace

AssetListView::AssetListView(QWidget* parent) : QTreeView(parent) {}

void AssetListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit rowClicked(RowOf(indexAt(event->position().toPoint())));
    }
}

void AssetListView::contextMenuEvent(QContextMenuEvent* event) {
    // The menu key acts on the focused row, a right-click on the row under the mouse.
    const int row = event->reason() == QContextMenuEvent::Mouse ? RowOf(indexAt(event->pos()))
                                                                : RowOf(currentIndex());
    QPoint globalPos = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse && row >= 0) {
        globalPos = viewport()->mapToGlobal(visualRect(currentIndex()).center());
    }
    emit rowContextClicked(row, globalPos);
    event->accept();
}

void AssetListView::keyPressEvent(QKeyEvent* event) {
    // Only the arrow keys select; the other movement keys move the highlight alone.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        const int focused = RowOf(currentIndex());
        if (event->key() == Qt::Key_Up) {
            emit rowKeyed(focused - 1);
        } else if (event->key() == Qt::Key_Down) {
            emit rowKeyed(focused + 1);
        }
    }
    QTreeView::keyPressEvent(event);
}

void AssetListView::focusInEvent(QFocusEvent* event) {
    // The item view would make the first row current when it gains the focus without one; then
    // the first Down key would select the second row. No row has the focus until one is chosen.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

ListPanel::ListPanel(EditorShell& shell, QMenu* assetMenu, QWidget* parent)
    : QWidget(parent),
      shell_(shell),
      assetMenu_(assetMenu),
      model_(new AssetTableModel(shell, this)),
      view_(new AssetListView(this)),
      modeGroup_(new QButtonGroup(this)) {
    view_->setObjectName(QStringLiteral("assetList"));
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);  // rows are laid out without asking each one its height
    view_->setAllColumnsShowFocus(true);
    view_->setAlternatingRowColors(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSortingEnabled(false);  // the shell sorts; a header click only asks it to
    view_->setModel(model_);

    QHeaderView* header = view_->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    for (int column = 0; column < AssetTableModel::kColumnCount; ++column) {
        header->resizeSection(column, shell_.preferences.columnWidths[std::size_t(column)]);
    }

    connect(header, &QHeaderView::sectionClicked, this, &ListPanel::SortByColumn);
    connect(view_, &AssetListView::rowClicked, this, &ListPanel::Select);
    connect(view_, &AssetListView::rowKeyed, this, &ListPanel::Select);
    connect(view_, &AssetListView::rowContextClicked, this, &ListPanel::ShowContextMenu);

    static const std::array<const char*, 3> kCaptions{"Plug-in", "Hexidecimal", "Ravelin"};
    static const std::array<const char*, 3> kNames{"pluginModeButton", "hexModeButton",
                                                   "ravelinModeButton"};
    for (std::size_t mode = 0; mode < modeButtons_.size(); ++mode) {
        auto* button = new QPushButton(QString::fromLatin1(kCaptions[mode]), this);
        button->setObjectName(QString::fromLatin1(kNames[mode]));
        button->setCheckable(true);
        button->setAutoDefault(false);
        modeGroup_->addButton(button, static_cast<int>(mode));
        modeButtons_[mode] = button;
    }
    modeGroup_->setExclusive(true);
    connect(modeGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { shell_.SetPanelMode(static_cast<PanelMode>(id)); });
    SyncModeButtons();
}

ListPanel::~ListPanel() {
    StoreColumnWidths();
}

QPushButton* ListPanel::modeButton(PanelMode mode) const {
    return modeButtons_.at(static_cast<std::size_t>(mode));
}

void ListPanel::StoreColumnWidths() {
    for (int column = 0; column < AssetTableModel::kColumnCount; ++column) {
        shell_.preferences.columnWidths[std::size_t(column)] = view_->header()->sectionSize(column);
    }
}

void ListPanel::RowsChanged() {
    model_->Reset();
    view_->header()->setSortIndicatorShown(false);
    SyncModeButtons();
    // The rows were rebuilt (the current asset is then asset 0 and nothing is highlighted unless
    // the selected row shows it) or refreshed in place after an import (the selection stays).
    const std::int32_t row = shell_.selectedRow;
    if (row >= 0 && static_cast<std::size_t>(row) < shell_.rowCount() &&
        shell_.rowAssetIndex(static_cast<std::size_t>(row)) == shell_.currentAssetIndex) {
        Highlight(row);
    }
}

void ListPanel::Highlight(int row) {
    const QModelIndex index = model_->index(row, 0);
    view_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(index);
}

void ListPanel::SyncModeButtons() {
    const std::int32_t mode = shell_.preferences.panelMode;
    // A stored value outside the three modes leaves the buttons as they are.
    if (mode >= 0 && mode < static_cast<std::int32_t>(modeButtons_.size())) {
        modeButtons_[static_cast<std::size_t>(mode)]->setChecked(true);
    }
}

void ListPanel::SortByColumn(int column) {
    if (column < 0 || column >= AssetTableModel::kColumnCount) {
        return;
    }
    const std::uint32_t current = shell_.currentAssetIndex;
    const bool hadSelection = shell_.selectedRow >= 0 && view_->currentIndex().isValid();
    shell_.SortByColumn(column);

    // sortState holds the column after an ascending sort and -1 after a descending one.
    QHeaderView* header = view_->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column,
                             shell_.sortState == column ? Qt::AscendingOrder : Qt::DescendingOrder);
    // Keep the current asset highlighted where the sort moved it.
    if (hadSelection) {
        for (std::size_t row = 0; row < shell_.rowCount(); ++row) {
            if (shell_.rowAssetIndex(row) == current) {
                Highlight(static_cast<int>(row));
                break;
            }
        }
    }
}

void ListPanel::Select(int row) {
    shell_.SelectAsset(row);
}

void ListPanel::ShowContextMenu(int row, const QPoint& globalPos) {
    shell_.SelectAsset(row);
    if (assetMenu_ != nullptr) {
        assetMenu_->exec(globalPos);
    }
}

void ListPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int right = width();
    const int bottom = height();
    const int third = right / 3;
    view_->setGeometry(kListMargin, kListMargin, std::max(0, right - 2 * kListMargin),
                       std::max(0, bottom - kButtonBand));
    for (std::size_t mode = 0; mode < modeButtons_.size(); ++mode) {
        modeButtons_[mode]->setGeometry(static_cast<int>(mode) * third + kListMargin,
                                        bottom - kButtonTopFromBottom,
                                        std::max(0, third - kButtonShrink), kButtonHeight);
    }
}

}  // namespace kestrova
