// The shipped hex plug-in inside the real main window, installed in a "Plugins" folder and loaded
// by the editor: bytes typed into its panel reach the file saved under a new name, and nothing
// else in the file changes.

#include <QAction>
#include <QPushButton>
#include <QTest>

#include "editor/shell/ui/list_panel.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class HexWindowTest : public GuiTest {
protected:
    HexWindowTest() {
        const std::filesystem::path library = HEX_PLUGIN_LIBRARY;
        const Bytes descriptor = ReadBytes((library.parent_path() / "hex.plg").string());
        InstallPlugin(std::filesystem::current_path() / "Plugins", "hex/hex.plg",
                      std::string(descriptor.begin(), descriptor.end()), library.string(),
                      "hex.so");
    }

    // Opens `path`, shows list row `row` in the "Hexidecimal" mode, types into both columns of
    // the panel, selects row `next` and saves under a new name. Checks that the saved file is the
    // opened one with exactly the typed bytes changed.
    void EditAndSave(const std::string& path, int row, int next, const std::string& screenshot) {
        auto window = Start();
        EXPECT_TRUE(messages.warnings.empty()) << "all five entry points resolve";
        OpenFile(*window, path);
        window->listPanel()->modeButton(PanelMode::Hex)->click();
        ClickRow(*window, row);
        const AssetEntry entry =
            window->shell()
                .document.entries[window->shell().rowAssetIndex(static_cast<std::size_t>(row))];
        const std::uint64_t body =
            window->shell().document.DataBase() + entry.offset + entry.prefixLength;
        ASSERT_NE(window->pluginPanel(), nullptr);
        QWidget* view = window->pluginPanel()->findChild<QWidget*>(QStringLiteral("hexView"));
        ASSERT_NE(view, nullptr);
        QTest::keyClicks(view, "c0ffee");
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClicks(view, "Hi");
        SaveScreenshot(window.get(), screenshot);

        ClickRow(*window, next);
        SaveAs(*window, Path("saved.assets"));
        Stop(window);

        Bytes expected = ReadBytes(path);
        const Bytes typed = {0xC0, 0xFF, 0xEE, 'H', 'i'};
        ASSERT_GE(expected.size(), body + typed.size());
        std::copy(typed.begin(), typed.end(), expected.begin() + static_cast<std::ptrdiff_t>(body));
        EXPECT_EQ(ReadBytes(Path("saved.assets")), expected) << path;
    }
};

TEST_F(HexWindowTest, TypedBytesReachTheSavedFileOnly) {
    // Row 1 is "alpha", a named asset: its name prefix stays as it was.
    EditAndSave(WriteSample(), 1, 3, "hex_panel_in_window");
}

TEST_F(HexWindowTest, TypedBytesReachTheSavedRealFileOnly) {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    const std::filesystem::path file =
        folder == nullptr ? "" : std::filesystem::path(folder) / "ld24_EvilTestsWin32_level0";
    if (!std::filesystem::is_regular_file(file)) {
        GTEST_SKIP() << "no real game file";
    }
    // Row 1 of the list in file order: an unnamed asset of 84 bytes.
    EditAndSave(file.string(), 1, 0, "hex_panel_real_file");
}

}  // namespace
}  // namespace kestrova::testing
