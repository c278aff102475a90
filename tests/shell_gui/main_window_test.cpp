// The main window as a whole: start-up with and without stored preferences, geometry tracking,
// the round trip of every remembered setting through a restart, and the shutdown's files.

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QSplitterHandle>

#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "editor/shell/ui/status_bar.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

using MainWindowTest = GuiTest;

int ListWidth(MainWindow& window) {
    return window.listPanel()->width();
}

int ClientWidth(MainWindow& window) {
    return window.centralWidget()->width();
}

// Drags the handle between the list panel and the plug-in panel by `dx` pixels.
void DragPanelEdge(MainWindow& window, int dx) {
    QSplitterHandle* handle = window.splitter()->handle(1);
    const QPoint start = handle->rect().center();
    const QPoint end = start + QPoint(dx, 0);
    QMouseEvent press(QEvent::MouseButtonPress, start, handle->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, end, handle->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, end, handle->mapToGlobal(end), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &press);
    QApplication::sendEvent(handle, &move);
    QApplication::sendEvent(handle, &release);
    ProcessEvents();
}

TEST_F(MainWindowTest, FirstRunUsesDefaultsAndWritesPreferencesAtTheEnd) {
    auto window = Start();
    EXPECT_EQ(window->windowTitle(), "Kestrova");
    EXPECT_EQ(window->frameGeometry(), QRect(0, 0, 800, 600));
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(ListWidth(*window), ClientWidth(*window) / 2);

    QHeaderView* header = window->listPanel()->view()->header();
    EXPECT_EQ(header->sectionSize(0), 200);
    EXPECT_EQ(header->sectionSize(1), 100);
    EXPECT_EQ(header->sectionSize(2), 100);
    EXPECT_EQ(header->sectionSize(3), 100);
    EXPECT_TRUE(window->listPanel()->modeButton(PanelMode::Plugin)->isChecked());
    EXPECT_EQ(window->listPanel()->model()->rowCount(), 0);
    EXPECT_EQ(window->statusBar()->shownText(), "Ready");

    QStringList menus;
    for (QAction* action : window->menuBar()->actions()) {
        menus << action->text();
    }
    EXPECT_EQ(menus, QStringList({"File", "Asset", "Plugin", "Help"}));
    QStringList assetItems;
    for (QAction* action : window->assetMenu()->actions()) {
        assetItems << action->text();
    }
    EXPECT_EQ(assetItems, QStringList({"Export", "Import", "Find", "Add", "Remove"}));

    Stop(window);
    EXPECT_EQ(std::filesystem::file_size("preferences"), Preferences::kFileSize);
    EXPECT_FALSE(std::filesystem::exists("Temp"));
}

TEST_F(MainWindowTest, PanelsFollowTheLayoutOfTheClientArea) {
    auto window = Start();
    const QWidget* client = window->centralWidget();
    StatusBar* status = window->statusBar();
    EXPECT_EQ(status->geometry(), QRect(0, client->height() - 32, client->width(), 32));
    EXPECT_EQ(status->progressFrame(), QRect(4, 4, 300, 24));

    ListPanel* panel = window->listPanel();
    const int right = panel->width();
    const int bottom = panel->height();
    const int third = right / 3;
    EXPECT_EQ(panel->view()->geometry(), QRect(8, 8, right - 16, bottom - 56));
    EXPECT_EQ(panel->modeButton(PanelMode::Plugin)->geometry(),
              QRect(8, bottom - 40, third - 12, 32));
    EXPECT_EQ(panel->modeButton(PanelMode::Hex)->geometry(),
              QRect(third + 8, bottom - 40, third - 12, 32));
    EXPECT_EQ(panel->modeButton(PanelMode::Mod)->geometry(),
              QRect(2 * third + 8, bottom - 40, third - 12, 32));
    EXPECT_EQ(panel->modeButton(PanelMode::Mod)->text(), "Ravelin");
    EXPECT_EQ(panel->modeButton(PanelMode::Hex)->text(), "Hexidecimal");

    // A larger window keeps the status bar 32 pixels high at the bottom and the list's share.
    window->resize(1000, 700);
    ProcessEvents();
    EXPECT_EQ(status->geometry(), QRect(0, client->height() - 32, client->width(), 32));
    EXPECT_EQ(status->progressFrame().width(), 300);
    EXPECT_EQ(ListWidth(*window), client->width() / 2);
    Stop(window);
}

TEST_F(MainWindowTest, StoredPreferencesPlaceTheWindowAndSetTheMode) {
    Preferences stored;
    stored.windowX = 30;
    stored.windowY = 40;
    stored.windowWidth = 900;
    stored.windowHeight = 650;
    stored.listPanelRatio = 0.25f;
    stored.columnWidths = {150, 80, 90, 70};
    stored.panelMode = 2;
    ASSERT_TRUE(SavePreferences(stored));

    auto window = Start();
    EXPECT_EQ(window->frameGeometry(), QRect(30, 40, 900, 650));
    EXPECT_EQ(ListWidth(*window),
              static_cast<int>(static_cast<float>(ClientWidth(*window)) * 0.25f));
    QHeaderView* header = window->listPanel()->view()->header();
    EXPECT_EQ(header->sectionSize(0), 150);
    EXPECT_EQ(header->sectionSize(3), 70);
    EXPECT_TRUE(window->listPanel()->modeButton(PanelMode::Mod)->isChecked());
    EXPECT_FALSE(window->listPanel()->modeButton(PanelMode::Plugin)->isChecked());
    Stop(window);
}

TEST_F(MainWindowTest, EverySettingSurvivesARestart) {
    auto window = Start();
    window->move(20, 30);
    window->resize(1000, 700);
    ProcessEvents();
    DragPanelEdge(*window, -150);
    const int draggedWidth = ListWidth(*window);
    EXPECT_NE(draggedWidth, ClientWidth(*window) / 2);
    window->listPanel()->view()->header()->resizeSection(0, 260);
    window->listPanel()->view()->header()->resizeSection(2, 55);
    window->listPanel()->modeButton(PanelMode::Hex)->click();
    EXPECT_EQ(window->shell().preferences.panelMode, 1);
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.topLeft(), QPoint(20, 30));
    Stop(window);

    window = Start();
    EXPECT_EQ(window->frameGeometry(), frame);
    EXPECT_EQ(ListWidth(*window), draggedWidth);
    EXPECT_EQ(window->listPanel()->view()->header()->sectionSize(0), 260);
    EXPECT_EQ(window->listPanel()->view()->header()->sectionSize(2), 55);
    EXPECT_TRUE(window->listPanel()->modeButton(PanelMode::Hex)->isChecked());
    Stop(window);
}

TEST_F(MainWindowTest, MaximizedWindowKeepsItsNormalRectangle) {
    auto window = Start();
    window->setGeometry(window->geometry().translated(40, 50));
    ProcessEvents();
    const QRect normal = window->frameGeometry();
    const Preferences& preferences = window->shell().preferences;
    EXPECT_EQ(preferences.windowX, normal.x());
    EXPECT_EQ(preferences.windowY, normal.y());

    window->showMaximized();
    ProcessEvents();
    EXPECT_EQ(preferences.maximized, 1);
    EXPECT_EQ(preferences.windowX, normal.x());
    EXPECT_EQ(preferences.windowWidth, normal.width());
    Stop(window);

    // The next start is maximized; restoring gives the rectangle from before.
    window = Start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->shell().preferences.maximized, 1);
    window->showNormal();
    ProcessEvents();
    EXPECT_EQ(window->shell().preferences.maximized, 0);
    EXPECT_EQ(window->frameGeometry(), normal);
    Stop(window);
}

TEST_F(MainWindowTest, MinimizingRecordsNothing) {
    auto window = Start();
    window->showMinimized();
    ProcessEvents();
    EXPECT_EQ(window->shell().preferences.maximized, 0);
    EXPECT_EQ(window->shell().preferences.windowWidth, 800);
    EXPECT_EQ(window->shell().preferences.windowHeight, 600);
    Stop(window);
}

TEST_F(MainWindowTest, SetUpBeforeShowingRecordsNothing) {
    // The window is resized and moved while it is made; none of that is the user's rectangle,
    // and a stored maximized state reaches the first show.
    Preferences stored;
    stored.maximized = 1;
    stored.windowX = 15;
    stored.windowWidth = 640;
    ASSERT_TRUE(SavePreferences(stored));
    Preferences preferences;
    LoadPreferences(preferences);
    MainWindow window(preferences, &chooser);
    window.resize(300, 200);
    window.move(5, 5);
    EXPECT_EQ(window.shell().preferences.maximized, 1);
    EXPECT_EQ(window.shell().preferences.windowX, 15);
    EXPECT_EQ(window.shell().preferences.windowWidth, 640);
    window.CreatePanels();
    ProcessEvents();
    EXPECT_TRUE(window.isMaximized());
    EXPECT_EQ(window.shell().preferences.windowWidth, 640);
    window.close();
}

TEST_F(MainWindowTest, ShutdownRemovesTheWorkingCopyButKeepsOtherTempFiles) {
    auto window = Start();
    OpenFile(*window, WriteSample());
    ASSERT_TRUE(std::filesystem::exists("Temp/temp"));
    WriteBytes("Temp/keep", {1, 2, 3});
    Stop(window);
    EXPECT_FALSE(std::filesystem::exists("Temp/temp"));
    EXPECT_TRUE(std::filesystem::exists("Temp/keep"));
    EXPECT_EQ(std::filesystem::file_size("preferences"), Preferences::kFileSize);
}

}  // namespace
}  // namespace kestrova::testing
