// The Qt file chooser: filters in order with the requested one preselected, every file under
// "All Files (*.*)", the chosen filter's position returned, and the current directory untouched.

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>

#include "editor/shell/ui/qt_file_chooser.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class FileChooserTest : public GuiTest {
protected:
    FileChooserTest() {
        for (const char* name : {"mainData", "level0", "sharedassets0.assets", "notes.txt"}) {
            WriteBytes(Path(name), {1});
        }
        request.title = u"Open Asset File";
        request.filters = {{u"Unity Asset File (*.assets)", u"*.assets"},
                           {u"All Files (*.*)", u"*.*"}};
        request.initialFolder = Wide(Path(""));
    }

    // Runs the chooser; `act` is called with the open dialog once its folder is listed and
    // receives the names it lists.
    std::optional<FileChoice> Run(const std::function<void(QFileDialog&, QStringList)>& act) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            ASSERT_NE(list, nullptr);
            QStringList names;
            // The folder is read in the background; wait until the files are in.
            const bool listed = QTest::qWaitFor([&] {
                names.clear();
                for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
                    names << list->model()->index(row, 0, list->rootIndex()).data().toString();
                }
                return names.contains(QStringLiteral("sharedassets0.assets"));
            });
            EXPECT_TRUE(listed);
            QTest::qWait(50);
            names.clear();
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
                names << list->model()->index(row, 0, list->rootIndex()).data().toString();
            }
            names.sort();
            act(*dialog, names);
            // A dialog that the test failed to end must not keep the test waiting.
            QTimer::singleShot(2000, dialog, &QDialog::reject);
        });
        return QtFileChooser().Choose(request);
    }

    FileChooserRequest request;
};

TEST_F(FileChooserTest, AllFilesListsNamesWithoutADot) {
    const auto before = std::filesystem::current_path();
    request.filterIndex = 2;
    const auto choice = Run([](QFileDialog& dialog, const QStringList& names) {
        EXPECT_EQ(dialog.selectedNameFilter(), "All Files (*.*)");
        EXPECT_EQ(names, QStringList({"level0", "mainData", "notes.txt", "sharedassets0.assets"}));
        auto* nameEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nameEdit, nullptr);
        nameEdit->setText(QStringLiteral("mainData"));
        QTest::keyClick(nameEdit, Qt::Key_Return);
    });
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->path, Wide(Path("mainData")));
    EXPECT_EQ(choice->filterIndex, 2u);
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(FileChooserTest, FiltersKeepTheirOrderAndTheFirstListsItsPattern) {
    request.filterIndex = 1;
    const auto choice = Run([](QFileDialog& dialog, const QStringList& names) {
        EXPECT_EQ(dialog.nameFilters(),
                  QStringList({"Unity Asset File (*.assets)", "All Files (*.*)"}));
        EXPECT_EQ(names, QStringList({"sharedassets0.assets"}));
        dialog.reject();
    });
    EXPECT_FALSE(choice.has_value());
}

TEST(FilterPatternsTest, StarDotStarMeansEveryFile) {
    EXPECT_EQ(FilterPatterns({u"All Files (*.*)", u"*.*"}), QStringList({"*"}));
    EXPECT_EQ(FilterPatterns({u"Pictures", u"*.png;*.jpg"}), QStringList({"*.png", "*.jpg"}));
    EXPECT_EQ(FilterPatterns({u"Nothing", u""}), QStringList({"*"}));
}

}  // namespace
}  // namespace kestrova::testing
