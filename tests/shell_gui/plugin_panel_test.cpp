// Plug-ins inside the real main window: their panels beside the list in every panel mode, the
// warnings about missing entry points at start-up, and Plugin > Info.

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>

#include "editor/plugins/ui/plugin_info_dialog.h"
#include "editor/shell/ui/list_panel.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class PluginPanelTest : public GuiTest {
protected:
    // Installs a plug-in into the test folder's "Plugins", which the window scans at start-up.
    void Install(const std::string& relative, const std::string& descriptor,
                 const std::string& library, const std::string& libraryName) {
        InstallPlugin(std::filesystem::current_path() / "Plugins", relative, descriptor, library,
                      libraryName);
    }
};

TEST_F(PluginPanelTest, PanelsSitBesideTheListInEveryMode) {
    Install("texture/texture.plg", Descriptor("Texture Viewer", "panel.so", "Texture2D", "1C"),
            RECORDING_PANEL_PLUGIN, "panel.so");
    Install("hex/hex.plg", Descriptor("Bytes", "panel.so", "Hex", "0"), RECORDING_PANEL_PLUGIN,
            "panel.so");
    auto window = Start();
    OpenFile(*window, WriteSample());
    EXPECT_EQ(Cell(*window, 0, 1), QStringLiteral("Texture2D"));
    EXPECT_EQ(Cell(*window, 1, 1), QStringLiteral("0x00000072"));

    ClickRow(*window, 0);
    QWidget* panel = window->pluginPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->objectName(), QStringLiteral("recordingPanel"));
    EXPECT_EQ(panel->parentWidget(), window->pluginPanelArea());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), window->pluginPanelArea()->rect());
    SaveScreenshot(window.get(), "panel_plugin_mode");

    // The panel follows the window and the split.
    window->resize(window->width() + 120, window->height() + 60);
    ProcessEvents();
    EXPECT_EQ(panel->geometry(), window->pluginPanelArea()->rect());

    // An asset of a type no plug-in claims shows no panel; the "Hexidecimal" mode finds the
    // plug-in whose type name is "Hex" for any asset.
    ClickRow(*window, 1);
    EXPECT_EQ(window->pluginPanel(), nullptr);
    window->listPanel()->modeButton(PanelMode::Hex)->click();
    ProcessEvents();
    ASSERT_NE(window->pluginPanel(), nullptr);
    EXPECT_EQ(window->pluginPanel()->geometry(), window->pluginPanelArea()->rect());
    SaveScreenshot(window.get(), "panel_hex_mode");

    // No "Mod" plug-in: the "Ravelin" mode shows nothing.
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    ProcessEvents();
    EXPECT_EQ(window->pluginPanel(), nullptr);
    Stop(window);
}

TEST_F(PluginPanelTest, FirstDownKeyAfterOpeningSelectsTheFirstRow) {
    auto window = Start();
    OpenFile(*window, WriteSample());
    // The list gains the focus as a user tabbing into it gives it.
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    window->listPanel()->view()->clearFocus();
    window->listPanel()->view()->setFocus(Qt::TabFocusReason);
    ProcessEvents();
    ASSERT_TRUE(window->listPanel()->view()->hasFocus());
    PressKey(*window, Qt::Key_Down);
    EXPECT_EQ(window->shell().selectedRow, 0);
    EXPECT_EQ(window->shell().statusText, u"Asset Selected: Beta");
    PressKey(*window, Qt::Key_Down);
    EXPECT_EQ(window->shell().selectedRow, 1);
    Stop(window);
}

TEST_F(PluginPanelTest, PluginInfoListsEveryPlugInAlphabetically) {
    Install("b/zeta.plg", Descriptor("Zeta", "panel.so", "Sample", "8E"), RECORDING_PANEL_PLUGIN,
            "panel.so");
    Install("a/partial.plg", Descriptor("alpha", "part.so", "Part", "2"), PARTIAL_PLUGIN,
            "part.so");
    Install("c/broken.plg", "", "", "");
    auto window = Start();
    // The plug-in without some entry points was reported as the window started.
    EXPECT_EQ(messages.warnings.size(), 3u);

    window->openPluginInfoDialog();
    ProcessEvents();
    PluginInfoDialog* dialog = window->pluginInfoDialog();
    ASSERT_NE(dialog, nullptr);
    QComboBox* list = dialog->pluginList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0),
              QStringLiteral("alpha (missing AssetChanged, ExportData, ImportData)"));
    EXPECT_TRUE(list->itemText(1).startsWith(QStringLiteral("untitled (library not loaded: ")));
    EXPECT_EQ(list->itemText(2), QStringLiteral("Zeta"));
    EXPECT_TRUE(dialog->summaryEdit()->toPlainText().startsWith(QStringLiteral("Author: Tester")));

    list->setCurrentIndex(2);
    ProcessEvents();
    EXPECT_TRUE(dialog->summaryEdit()->toPlainText().endsWith(
        QStringLiteral("Asset Type: Sample|0x0000008E")));
    EXPECT_EQ(dialog->descriptionEdit()->toPlainText(), QStringLiteral("About Zeta"));
    EXPECT_EQ(dialog->instructionsEdit()->toPlainText(), QStringLiteral("Use Zeta"));
    SaveScreenshot(dialog, "plugin_info_dialog");

    // Opening it again gives one fresh dialog on the first line.
    window->openPluginInfoDialog();
    ProcessEvents();
    EXPECT_EQ(window->findChildren<PluginInfoDialog*>().size(), 1);
    EXPECT_EQ(window->pluginInfoDialog()->pluginList()->currentIndex(), 0);
    Stop(window);
}

TEST_F(PluginPanelTest, PluginInfoWithoutPlugInsShowsEmptyFields) {
    auto window = Start();
    window->openPluginInfoDialog();
    ProcessEvents();
    PluginInfoDialog* dialog = window->pluginInfoDialog();
    EXPECT_EQ(dialog->pluginList()->count(), 0);
    EXPECT_TRUE(dialog->summaryEdit()->toPlainText().isEmpty());
    EXPECT_TRUE(dialog->descriptionEdit()->toPlainText().isEmpty());
    EXPECT_TRUE(dialog->instructionsEdit()->toPlainText().isEmpty());
    Stop(window);
}

}  // namespace
}  // namespace kestrova::testing
