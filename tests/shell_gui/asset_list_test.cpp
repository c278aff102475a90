// The asset list with a file open: its texts, sorting, selection by mouse and keys, the context
// menu, the mode buttons, and the commands that act on the selected asset.

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "editor/shell/ui/status_bar.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class AssetListTest : public GuiTest {
protected:
    void SetUp() override {
        window = Start();
        OpenFile(*window, WriteSample());
        ASSERT_EQ(window->listPanel()->model()->rowCount(), 4);
    }
    void TearDown() override { Stop(window); }

    EditorShell& shell() { return window->shell(); }
    QString Status() {
        ProcessEvents();
        return window->statusBar()->shownText();
    }
    // The body of a table asset as the sample wrote it, read back through Export.
    Bytes Export(const std::string& name) {
        chooser.Next(Wide(Path(name)), 1);
        window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
        WaitForLongWork(*window);
        return ReadBytes(Path(name));
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(AssetListTest, OpenShowsEveryAssetInTableOrder) {
    EXPECT_EQ(window->windowTitle(), "Kestrova ( sample.assets )");
    EXPECT_EQ(Column(*window, 0), QStringList({"Beta", "alpha", "unnamed asset", "Gamma"}));
    EXPECT_EQ(Column(*window, 1),
              QStringList({"0x0000001C", "0x00000072", "0x00000053", "0x0000001C"}));
    EXPECT_EQ(Column(*window, 2), QStringList({"3", "1", "7", "2"}));
    // Whole kilobytes plus one: 0 bytes show 1, 1100 + 12 bytes of name prefix show 2.
    EXPECT_EQ(Column(*window, 3), QStringList({"1", "2", "1", "2"}));
    EXPECT_EQ(Status(), "Ready");
    EXPECT_EQ(window->statusBar()->doneWidth(), 0);
    SaveScreenshot(window.get(), "main_window_with_file");
}

TEST_F(AssetListTest, HeaderClicksSortAscendingThenDescending) {
    ClickHeader(*window, 0);
    EXPECT_EQ(Column(*window, 0), QStringList({"alpha", "Beta", "Gamma", "unnamed asset"}));
    ClickHeader(*window, 0);
    EXPECT_EQ(Column(*window, 0), QStringList({"unnamed asset", "Gamma", "Beta", "alpha"}));
    ClickHeader(*window, 0);
    EXPECT_EQ(Column(*window, 0), QStringList({"alpha", "Beta", "Gamma", "unnamed asset"}));

    // Another column starts ascending; Size sorts by exact bytes, not by the shown kilobytes.
    ClickHeader(*window, 3);
    EXPECT_EQ(Column(*window, 0), QStringList({"unnamed asset", "Beta", "Gamma", "alpha"}));
    ClickHeader(*window, 1);
    EXPECT_EQ(Column(*window, 1),
              QStringList({"0x0000001C", "0x0000001C", "0x00000053", "0x00000072"}));
    EXPECT_EQ(window->listPanel()->view()->header()->sortIndicatorSection(), 1);

    // Adding an asset rebuilds the list in table order, the sort notwithstanding.
    window->openAddAssetDialog();
    window->addAssetDialog()->nameEdit()->setText(QStringLiteral("Delta"));
    QTest::mouseClick(window->addAssetDialog()->okButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(Column(*window, 0),
              QStringList({"Beta", "alpha", "unnamed asset", "Gamma", "Delta"}));
}

TEST_F(AssetListTest, ClicksAndArrowKeysSelectAssets) {
    ClickRow(*window, 3);
    EXPECT_EQ(shell().currentAssetIndex, 3u);
    EXPECT_EQ(Status(), "Asset Selected: Gamma");

    PressKey(*window, Qt::Key_Up);
    EXPECT_EQ(shell().currentAssetIndex, 2u);
    EXPECT_EQ(Status(), "Asset Selected: unnamed asset");
    ClickRow(*window, 0);
    PressKey(*window, Qt::Key_Up);  // above the first row: nothing
    EXPECT_EQ(shell().selectedRow, -1);
    EXPECT_EQ(shell().currentAssetIndex, 0u);

    // A click below the last row selects nothing.
    AssetListView* view = window->listPanel()->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(10, view->viewport()->height() - 5));
    ProcessEvents();
    EXPECT_EQ(shell().selectedRow, -1);

    // After a sort the selected asset stays highlighted where it moved.
    ClickRow(*window, 1);  // alpha
    ClickHeader(*window, 0);
    EXPECT_EQ(view->currentIndex().row(), 0);
    EXPECT_EQ(shell().currentAssetIndex, 1u);
}

TEST_F(AssetListTest, DownWithoutFocusSelectsTheFirstRow) {
    EXPECT_FALSE(window->listPanel()->view()->currentIndex().isValid());
    PressKey(*window, Qt::Key_Down);
    EXPECT_EQ(shell().selectedRow, 0);
    EXPECT_EQ(Status(), "Asset Selected: Beta");
    PressKey(*window, Qt::Key_Down);
    EXPECT_EQ(shell().selectedRow, 1);
    EXPECT_EQ(window->listPanel()->view()->currentIndex().row(), 1);
    // Page Down moves the highlight without selecting.
    PressKey(*window, Qt::Key_PageDown);
    EXPECT_EQ(shell().selectedRow, 1);
}

TEST_F(AssetListTest, RightClickSelectsAndItsMenuActsOnThatAsset) {
    ClickRow(*window, 0);
    AssetListView* view = window->listPanel()->view();
    const QPoint point = view->visualRect(view->model()->index(3, 0)).center();
    bool menuShown = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menuShown = true;
        QStringList items;
        for (QAction* action : menu->actions()) {
            items << action->text();
        }
        EXPECT_EQ(items, QStringList({"Export", "Import", "Find", "Add", "Remove"}));
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    chooser.Next(Wide(Path("context.data")), 1);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
    QApplication::sendEvent(view->viewport(), &event);
    ProcessEvents();
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(shell().currentAssetIndex, 3u);
    const Bytes exported = ReadBytes(Path("context.data"));
    ASSERT_EQ(exported.size(), 1100u);
    EXPECT_EQ(exported[1], 4);
}

TEST_F(AssetListTest, ModeButtonsSetTheModeAndSelectTheRowAgain) {
    ClickRow(*window, 1);
    shell().SetStatus(u"something else", 0.0f);
    ListPanel* panel = window->listPanel();
    QTest::mouseClick(panel->modeButton(PanelMode::Mod), Qt::LeftButton);
    EXPECT_EQ(shell().preferences.panelMode, 2);
    EXPECT_TRUE(panel->modeButton(PanelMode::Mod)->isChecked());
    EXPECT_FALSE(panel->modeButton(PanelMode::Plugin)->isChecked());
    EXPECT_EQ(Status(), "Asset Selected: alpha");
    QTest::mouseClick(panel->modeButton(PanelMode::Hex), Qt::LeftButton);
    EXPECT_EQ(shell().preferences.panelMode, 1);
    EXPECT_FALSE(panel->modeButton(PanelMode::Mod)->isChecked());
}

TEST_F(AssetListTest, ExportImportAddRemoveAndSaveAs) {
    // Nothing clicked since the file opened: the commands act on asset 0.
    EXPECT_EQ(Export("first.data"), Bytes(10, 0x42));

    ClickRow(*window, 1);
    const Bytes alpha = Export("alpha.data");
    ASSERT_EQ(alpha.size(), 2000u);
    EXPECT_EQ(alpha[3], 21);

    // Importing a larger body shows the new size at once and keeps the selection.
    WriteBytes(Path("bigger.data"), Bytes(3000, 0x11));
    chooser.Next(Wide(Path("bigger.data")), 1);
    window->findChild<QAction*>(QStringLiteral("importAction"))->trigger();
    WaitForLongWork(*window);
    EXPECT_EQ(Cell(*window, 1, 3), "3");
    EXPECT_EQ(Cell(*window, 1, 0), "alpha");
    EXPECT_EQ(window->listPanel()->view()->currentIndex().row(), 1);
    EXPECT_EQ(Export("again.data"), Bytes(3000, 0x11));

    // Add with a hexadecimal type and no index offset.
    window->openAddAssetDialog();
    AddAssetDialog* add = window->addAssetDialog();
    add->nameEdit()->setText(QStringLiteral("Delta"));
    add->typeEdit()->setText(QStringLiteral("0x72"));
    SaveScreenshot(add, "add_asset_dialog");
    QTest::mouseClick(add->okButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(window->addAssetDialog(), nullptr);
    ASSERT_EQ(window->listPanel()->model()->rowCount(), 5);
    EXPECT_EQ(Cell(*window, 4, 0), "Delta");
    EXPECT_EQ(Cell(*window, 4, 1), "0x00000072");
    EXPECT_EQ(Cell(*window, 4, 2), "8");
    EXPECT_EQ(shell().currentAssetIndex, 0u);

    // Remove the asset selected when OK is pressed.
    window->openRemoveAssetDialog();
    ClickRow(*window, 2);
    QTest::mouseClick(window->removeAssetDialog()->okButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(window->removeAssetDialog(), nullptr);
    EXPECT_EQ(Column(*window, 0), QStringList({"Beta", "alpha", "Gamma", "Delta"}));

    SaveAs(*window, Path("saved.assets"));
    EXPECT_EQ(window->windowTitle(), "Kestrova ( saved.assets )");

    // The saved file opens with the same list.
    OpenFile(*window, Path("saved.assets"));
    EXPECT_EQ(Column(*window, 0), QStringList({"Beta", "alpha", "Gamma", "Delta"}));
    EXPECT_EQ(Column(*window, 3), QStringList({"1", "3", "2", "1"}));
}

TEST_F(AssetListTest, ARefusedFileLeavesTheOpenOneAndSaysWhy) {
    WriteBytes(Path("broken.assets"), Bytes{1, 2, 3});
    OpenFile(*window, Path("broken.assets"));
    EXPECT_EQ(window->listPanel()->model()->rowCount(), 4);
    EXPECT_EQ(window->windowTitle(), "Kestrova ( sample.assets )");
    EXPECT_NE(Status(), "Ready");
    EXPECT_EQ(Status(), Q(shell().statusText));
}

}  // namespace
}  // namespace kestrova::testing
