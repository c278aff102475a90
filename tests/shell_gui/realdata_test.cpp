// Real game files through the window (those of the later forms in modern/ too): every file the
// document accepts is listed whole, with its names and path ids, and stays whole through a sort
// by every column.

#include <QApplication>
#include <QInputDialog>
#include <QTimer>

#include <cstdlib>
#include <set>

#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

using RealDataTest = GuiTest;

TEST_F(RealDataTest, EveryAcceptedFileIsListedWhole) {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    if (folder == nullptr || !std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
    }
    auto window = Start();
    int listed = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") {
            continue;
        }
        const std::string name = entry.path().filename().string();
        // A bundle of several serialized files asks which: the first is taken.
        QTimer::singleShot(0, [] {
            if (auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                ask->accept();
            }
        });
        OpenFile(*window, entry.path().string());
        // "Kestrova ( NAME )", or "Kestrova ( NAME : MEMBER )" for a bundle's member.
        if (!window->windowTitle().startsWith(QString::fromStdString("Kestrova ( " + name + " "))) {
            continue;  // refused: the document's own tests say which and why
        }
        ++listed;
        const AssetFile& document = window->shell().document;
        ASSERT_EQ(window->listPanel()->model()->rowCount(),
                  static_cast<int>(document.entries.size()))
            << name;
        for (std::size_t row = 0; row < document.entries.size(); ++row) {
            ASSERT_EQ(Cell(*window, static_cast<int>(row), 0), Q(document.entries[row].name))
                << name << " row " << row;
            ASSERT_EQ(Cell(*window, static_cast<int>(row), 2),
                      Q(PathIdText(document, document.entries[row])))
                << name << " row " << row;
        }
        for (int column = 0; column < 4; ++column) {
            ClickHeader(*window, column);
            std::set<std::uint32_t> assets;
            for (std::size_t row = 0; row < window->shell().rowCount(); ++row) {
                assets.insert(window->shell().rowAssetIndex(row));
            }
            EXPECT_EQ(assets.size(), document.entries.size()) << name << " column " << column;
        }
    }
    EXPECT_GT(listed, 0);
    Stop(window);
}

}  // namespace
}  // namespace kestrova::testing
