// The Find dialog in the real main window, offscreen: its layout and set-up, a search and the
// order of its results, choosing a result after the main list was sorted, and the queries that
// search nothing.

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

#include "editor/search/search_engine.h"
#include "editor/search/ui/find_dialog.h"
#include "editor/tasks/task_runner.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

Bytes Body(std::string_view text) {
    Bytes body(40, '.');
    std::copy(text.begin(), text.end(), body.begin() + 10);
    return body;
}

class FindDialogTest : public GuiTest {
protected:
    // Table order: "beta" 3, "Alpha" 9, "delta" -5, "Gamma" 1 (no needle), "alpha2" 9; the needle
    // is in every asset but "Gamma".
    std::string WriteNeedles() {
        AssetFileBuilder builder;
        builder.Add("beta", 28, 3, Body("needle"))
            .Add("Alpha", 28, 9, Body("NEEDLE"))
            .Add("delta", 28, 0xFFFFFFFB, Body("needle"))
            .Add("Gamma", 28, 1, Body("thread"))
            .Add("alpha2", 28, 9, Body("needle"));
        const std::string path = Path("needles.assets");
        WriteBytes(path, builder.Build());
        return path;
    }

    FindDialog* OpenFind(MainWindow& window) {
        window.findChild<QAction*>(QStringLiteral("findAction"))->trigger();
        ProcessEvents();
        QList<FindDialog*> dialogs = window.findChildren<FindDialog*>();
        EXPECT_EQ(dialogs.size(), 1);
        return dialogs.isEmpty() ? nullptr : dialogs.front();
    }

    static void Search(FindDialog* dialog, const QString& query, int mode) {
        dialog->queryEdit()->setText(query);
        dialog->modeBox()->setCurrentIndex(mode);
        QTest::mouseClick(dialog->findButton(), Qt::LeftButton);
        ProcessEvents();
    }

    static QStringList Lines(FindDialog* dialog) {
        QStringList lines;
        for (int i = 0; i < dialog->resultList()->count(); ++i) {
            lines << dialog->resultList()->item(i)->text();
        }
        return lines;
    }

    static void Choose(FindDialog* dialog, const QString& line) {
        QList<QListWidgetItem*> items = dialog->resultList()->findItems(line, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << line.toStdString();
        QListWidget* list = dialog->resultList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.front()).center());
        ProcessEvents();
    }
};

TEST_F(FindDialogTest, OpensEmptyWithTheTemplateLayoutAndReplacesItself) {
    auto window = Start();
    FindDialog* dialog = OpenFind(*window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Find");
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->isVisible());
    QStringList labels;
    for (int i = 0; i < dialog->modeBox()->count(); ++i) {
        labels << dialog->modeBox()->itemText(i);
    }
    EXPECT_EQ(labels,
              QStringList({"Text (Case Insensitive)", "Text (Case Sensitive)", "Decimal (Signed)",
                           "Decimal (Unsigned)", "Hexidecimal (Big Endian)",
                           "Hexidecimal (Little Endian)", "Float", "Double"}));
    EXPECT_TRUE(dialog->modeBox()->isEditable());
    EXPECT_EQ(dialog->modeBox()->currentIndex(), 0);
    EXPECT_EQ(dialog->statusLine()->text(), "Found 0 Results - Ready");
    EXPECT_FALSE(dialog->findButton()->isDefault());
    EXPECT_FALSE(dialog->findButton()->autoDefault());

    DialogUnits units{QFontMetrics(dialog->font())};
    EXPECT_EQ(dialog->size(), QSize(units.x(316), units.y(183)));
    EXPECT_EQ(dialog->queryEdit()->geometry(), units.rect(7, 7, 244, 16));
    EXPECT_EQ(dialog->findButton()->geometry(), units.rect(259, 7, 50, 16));
    EXPECT_EQ(dialog->resultList()->geometry(), units.rect(7, 46, 302, 114));
    EXPECT_EQ(dialog->statusLine()->geometry(), units.rect(7, 161, 302, 15));
    EXPECT_EQ(dialog->modeBox()->geometry().topLeft(), units.rect(7, 28, 302, 82).topLeft());

    // A second Asset > Find gives one new dialog, empty, on the first mode.
    OpenFile(*window, WriteNeedles());
    Search(dialog, "needle", 3);
    FindDialog* again = OpenFind(*window);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->resultList()->count(), 0);
    EXPECT_EQ(again->modeBox()->currentIndex(), 0);
    EXPECT_EQ(again->statusLine()->text(), "Found 0 Results - Ready");
    Stop(window);
}

// Records the text of a label every time it is painted.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel* label) : label_(label) { label->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) {
            texts << label_->text();
        }
        return false;
    }
    QStringList texts;

private:
    QLabel* label_;
};

TEST_F(FindDialogTest, ResultsAreSortedAndLinkedToTheirEntries) {
    auto window = Start();
    OpenFile(*window, WriteNeedles());
    FindDialog* dialog = OpenFind(*window);
    PaintedTexts painted(dialog->statusLine());
    Search(dialog, "needle", 0);
    // The progress was painted while the search ran, before the final count.
    ASSERT_FALSE(painted.texts.isEmpty());
    EXPECT_TRUE(painted.texts.filter("Number Found:").size() > 0)
        << painted.texts.join("|").toStdString();
    EXPECT_EQ(painted.texts.back(), "Found 4 Results - Ready");
    EXPECT_EQ(dialog->statusLine()->text(), "Found 4 Results - Ready");
    EXPECT_EQ(Lines(dialog), QStringList({"Alpha (9)", "alpha2 (9)", "beta (3)", "delta (-5)"}));
    // Item data: the entry in the results, which are in table order.
    const StringList& results = dialog->results();
    for (int i = 0; i < dialog->resultList()->count(); ++i) {
        QListWidgetItem* item = dialog->resultList()->item(i);
        int entry = item->data(Qt::UserRole).toInt();
        QString expected = QString::fromStdU16String(results.at(entry)) + " (" +
                           QString::number(static_cast<std::int32_t>(results.tag(entry))) + ")";
        EXPECT_EQ(item->text(), expected);
    }
    EXPECT_TRUE(dialog->resultList()->selectedItems().isEmpty());

    Search(dialog, "needle", 1);
    EXPECT_EQ(Lines(dialog), QStringList({"alpha2 (9)", "beta (3)", "delta (-5)"}));
    SaveScreenshot(dialog, "find-dialog");
    Stop(window);
}

TEST_F(FindDialogTest, ChoosingAResultSelectsTheFirstRowShowingItsIndex) {
    auto window = Start();
    OpenFile(*window, WriteNeedles());
    // Sorted by Name, descending: beta, delta, Gamma, alpha2, Alpha or similar; whatever the
    // order, the row chosen must show the pathId and be the first to do so.
    ClickHeader(*window, 0);
    ClickHeader(*window, 0);
    FindDialog* dialog = OpenFind(*window);
    Search(dialog, "needle", 0);
    EditorShell& shell = window->shell();

    Choose(dialog, "delta (-5)");
    ASSERT_GE(shell.selectedRow, 0);
    EXPECT_EQ(Cell(*window, shell.selectedRow, 2), "-5");
    EXPECT_EQ(shell.currentAssetIndex, 2U);

    // "Alpha" and "alpha2" share pathId 9: either line selects the first row that shows 9.
    int firstNine = Column(*window, 2).indexOf("9");
    Choose(dialog, "Alpha (9)");
    EXPECT_EQ(shell.selectedRow, firstNine);
    Choose(dialog, "alpha2 (9)");
    EXPECT_EQ(shell.selectedRow, firstNine);
    Stop(window);
}

TEST_F(FindDialogTest, EmptyTypedOrRefusedQueriesSearchNothing) {
    auto window = Start();
    OpenFile(*window, WriteNeedles());
    FindDialog* dialog = OpenFind(*window);
    Search(dialog, "needle", 0);
    ASSERT_EQ(dialog->resultList()->count(), 4);

    // An empty query clears the previous results.
    Search(dialog, "", 0);
    EXPECT_EQ(dialog->resultList()->count(), 0);
    EXPECT_EQ(dialog->statusLine()->text(), "Found 0 Results - Ready");

    // A mode typed into the box instead of chosen leaves no mode: nothing is found.
    dialog->queryEdit()->setText("needle");
    dialog->modeBox()->lineEdit()->clear();
    QTest::keyClicks(dialog->modeBox()->lineEdit(), "Text (Case Insensitive)");
    EXPECT_EQ(dialog->selectedMode(), -1);
    QTest::mouseClick(dialog->findButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->resultList()->count(), 0);

    // A character that asset data cannot hold: the reason stays in the status line.
    Search(dialog, QString::fromUtf16(u"needle\u0100"), 0);
    EXPECT_EQ(dialog->resultList()->count(), 0);
    EXPECT_EQ(dialog->statusLine()->text(), QString::fromUtf16(kQueryNotSingleByte));
    Stop(window);
}

TEST_F(FindDialogTest, EnterInTheQueryDoesNotSearch) {
    auto window = Start();
    OpenFile(*window, WriteNeedles());
    FindDialog* dialog = OpenFind(*window);
    dialog->queryEdit()->setFocus();
    QTest::keyClicks(dialog->queryEdit(), "needle");
    QTest::keyClick(dialog->queryEdit(), Qt::Key_Return);
    QTest::keyClick(dialog->queryEdit(), Qt::Key_Enter);
    QTest::keyClick(dialog->queryEdit(), Qt::Key_Escape);
    ProcessEvents();
    EXPECT_EQ(dialog->resultList()->count(), 0);
    EXPECT_EQ(dialog->statusLine()->text(), "Found 0 Results - Ready");
    EXPECT_EQ(window->findChildren<FindDialog*>().size(), 1);
    Stop(window);
}

TEST_F(FindDialogTest, WithoutAFileTheSearchFindsNothing) {
    auto window = Start();
    FindDialog* dialog = OpenFind(*window);
    Search(dialog, "needle", 0);
    EXPECT_EQ(dialog->resultList()->count(), 0);
    EXPECT_EQ(dialog->statusLine()->text(), "Found 0 Results - Ready");
    Stop(window);
}

// A working copy large enough is searched on the window's runner: the lines are those of the
// search engine run here on the same document, and a search cancelled by Esc while it runs keeps
// the lines and results of the one before.
TEST_F(FindDialogTest, ALargeFileIsSearchedInTheBackgroundAndCancelKeepsTheShownResults) {
    Bytes huge(3 * FindDialog::kBackgroundBytes, '.');
    const std::string tail = "needle";
    std::copy(tail.begin(), tail.end(), huge.end() - 10);
    AssetFileBuilder builder;
    builder.Add("beta", 28, 3, Body("needle"))
        .Add("huge", 49, 4, huge)
        .Add("Gamma", 28, 1, Body("x"));
    WriteBytes(Path("huge.assets"), builder.Build());
    auto window = Start();
    OpenFile(*window, Path("huge.assets"));
    FindDialog* dialog = OpenFind(*window);

    // The first search waits at its first report until the window has been looked at, so that
    // it is still running then however fast it is (or however slow the interface thread).
    std::atomic<bool> looked = false;
    window->taskRunner()->SetReportHook([&](const std::stop_token& stop) {
        while (!looked && !stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Search(dialog, "needle", 0);
    EXPECT_TRUE(window->taskRunner()->running());
    EXPECT_FALSE(dialog->findButton()->isEnabled());
    looked = true;
    WaitForLongWork(*window);
    StringList reference;
    Reset(reference);
    ASSERT_TRUE(SearchAssetData(window->shell().document, u"needle", reference, 0, {}).ok);
    QStringList expected;
    for (std::uint32_t k = 0; k < reference.count(); ++k) {
        expected << Q(reference.at(k)) + QStringLiteral(" (%1)").arg(reference.tag(k));
    }
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(Lines(dialog), expected);
    EXPECT_EQ(expected.size(), 2);
    EXPECT_EQ(dialog->statusLine()->text(), "Found 2 Results - Ready");
    EXPECT_TRUE(dialog->findButton()->isEnabled());

    // The second search is held at its first report until Esc has stopped it.
    window->taskRunner()->SetReportHook([](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Search(dialog, "Gamma", 0);
    QTest::keyClick(dialog, Qt::Key_Escape);
    WaitForLongWork(*window);
    EXPECT_EQ(dialog->statusLine()->text(), "Cancelled.");
    EXPECT_EQ(Lines(dialog), expected);
    EXPECT_EQ(dialog->results().count(), 2u);
    EXPECT_TRUE(dialog->isVisible());
    Stop(window);
}

}  // namespace
}  // namespace kestrova::testing
