#pragma once
// What the window tests share: one QApplication for the process, a fixture that runs each test in
// a fresh current directory (the editor keeps its preferences and Temp there) with a scripted file
// chooser, and small helpers to click and type into the real widgets.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <QModelIndex>
#include <QString>

#include "editor/shell/ui/main_window.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/shell/shell_test_hosts.h"

class QFont;
class QWidget;

namespace kestrova::testing {

inline QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// Runs the deferred deletions and other posted events.
void ProcessEvents();

// Runs the event loop until the runner's (the window's) long operation has handed back its
// outcome.
void WaitForLongWork(TaskRunner& runner);
void WaitForLongWork(MainWindow& window);

// Saves a picture of `widget` as <build>/screenshots/<name>.png.
void SaveScreenshot(QWidget* widget, const std::string& name);

// The printable characters of Latin-1, U+0020-U+007E and U+00A0-U+00FF: what the text and hex
// panels show of a byte.
QString PrintableLatin1();
// The characters of `text` whose advance in `font`, as this machine resolves it, differs from the
// first one's: empty when the font sets them in one column width. Asking the font database whether
// a family is fixed-pitch is no substitute: it says no for some monospaced families.
QString UnequalAdvances(const QFont& font, const QString& text);

class GuiTest : public ::testing::Test {
protected:
    GuiTest();
    ~GuiTest() override;

    // Starts the editor as its program does: preferences first, then the window and its panels.
    std::unique_ptr<MainWindow> Start();
    // Closes the window as the user does (the shutdown runs) and destroys it.
    void Stop(std::unique_ptr<MainWindow>& window);

    // A four-asset file "sample.assets" in the test folder:
    //   0 "Beta"  type 28  index 3  10-byte body
    //   1 "alpha" type 114 index 1  2000-byte body
    //   2 unnamed type 83  index 7  no data
    //   3 "Gamma" type 28  index 2  1100-byte body
    std::string WriteSample();
    // Opens `path` through File > Open.
    void OpenFile(MainWindow& window, const std::string& path);
    // Saves through File > Save As under `path`.
    void SaveAs(MainWindow& window, const std::string& path);

    // The text the list shows in a cell, and every row's text in one column.
    static QString Cell(MainWindow& window, int row, int column);
    static QStringList Column(MainWindow& window, int column);

    // Real input on the list: a left click, a right click (context menu) and a key press.
    static void ClickRow(MainWindow& window, int row);
    static void ClickHeader(MainWindow& window, int column);
    static void PressKey(MainWindow& window, int key);

    std::string Path(const std::string& name) const { return folder_.File(name); }
    static std::u16string Wide(const std::string& text);

    ScriptedChooser chooser;
    // The warnings the window showed (at start-up: plug-ins without some entry point).
    CollectingSink messages;

private:
    TempFolder folder_;
    std::filesystem::path previousDirectory_;
};

}  // namespace kestrova::testing
