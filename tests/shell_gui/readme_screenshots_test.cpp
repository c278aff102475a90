// The README's pictures: the main window with a real game file open, and the panel of each mode,
// made with the plug-ins the run folder ships. scripts/update-screenshots.sh copies them into
// docs/screenshots/. Skipped without the real files.

#include <QPushButton>

#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class ReadmeScreenshots : public GuiTest {
protected:
    // The first row whose Name column reads `name`, or -1.
    static int RowNamed(MainWindow& window, const QString& name) {
        return static_cast<int>(Column(window, 0).indexOf(name));
    }
};

TEST_F(ReadmeScreenshots, MainWindowAndEachPanelMode) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    const std::string file =
        realdata == nullptr ? ""
                            : std::string(realdata) + "/ld24_EvilTestsWin32_sharedassets1.assets";
    if (file.empty() || !std::filesystem::exists(file)) {
        GTEST_SKIP() << "KESTROVA_REALDATA holds no ld24_EvilTestsWin32_sharedassets1.assets";
    }
    // The editor of the run folder: its plug-ins, seen from the test's own working folder.
    std::filesystem::create_directory_symlink(KESTROVA_RUN_PLUGINS, "Plugins");
    auto window = Start();
    window->resize(1280, 760);
    OpenFile(*window, file);
    ASSERT_GT(window->listPanel()->model()->rowCount(), 0);
    const int texture = RowNamed(*window, QStringLiteral("YouDied"));
    ASSERT_GE(texture, 0);
    ClickRow(*window, texture);
    EXPECT_NE(window->pluginPanel(), nullptr);
    SaveScreenshot(window.get(), "readme-texture_panel");

    window->listPanel()->modeButton(PanelMode::Hex)->click();
    ProcessEvents();
    EXPECT_NE(window->pluginPanel(), nullptr);
    SaveScreenshot(window.get(), "readme-hex_panel");

    // Two textures collected into a mod in the "Ravelin" mode.
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    ProcessEvents();
    for (const QString& name : {QStringLiteral("YouDied"), QStringLiteral("Ice")}) {
        ClickRow(*window, RowNamed(*window, name));
        for (QPushButton* button : window->pluginPanelArea()->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Add File")) {
                button->click();
            }
        }
        ProcessEvents();
    }
    SaveScreenshot(window.get(), "readme-ravelin_panel");

    window->listPanel()->modeButton(PanelMode::Plugin)->click();
    ClickHeader(*window, 1);
    ProcessEvents();
    SaveScreenshot(window.get(), "readme-main_window");
    Stop(window);
}

}  // namespace
}  // namespace kestrova::testing
