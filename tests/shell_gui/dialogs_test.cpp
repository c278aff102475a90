// The Add Asset, Remove Asset and About dialogs: one of each, made anew on every open, and only
// their buttons (or the close box) end them.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class DialogsTest : public GuiTest {
protected:
    void SetUp() override { window = Start(); }
    void TearDown() override { Stop(window); }

    int Rows() const { return window->listPanel()->model()->rowCount(); }
    template <typename Dialog>
    int Count() const {
        return static_cast<int>(window->findChildren<Dialog*>().size());
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(DialogsTest, OpeningTwiceLeavesOneFreshDialog) {
    window->openAddAssetDialog();
    window->addAssetDialog()->nameEdit()->setText(QStringLiteral("typed"));
    window->openAddAssetDialog();
    ProcessEvents();
    EXPECT_EQ(Count<AddAssetDialog>(), 1);
    EXPECT_TRUE(window->addAssetDialog()->nameEdit()->text().isEmpty());

    window->openRemoveAssetDialog();
    window->openRemoveAssetDialog();
    window->openAboutDialog();
    window->openAboutDialog();
    ProcessEvents();
    EXPECT_EQ(Count<RemoveAssetDialog>(), 1);
    EXPECT_EQ(Count<AboutDialog>(), 1);
    EXPECT_TRUE(window->removeAssetDialog()->isVisible());
    EXPECT_FALSE(window->removeAssetDialog()->isModal());
}

TEST_F(DialogsTest, EnterAndEscapeDoNotEndTheAddDialog) {
    OpenFile(*window, WriteSample());
    window->openAddAssetDialog();
    AddAssetDialog* dialog = window->addAssetDialog();
    QTest::keyClicks(dialog->nameEdit(), QStringLiteral("Delta"));
    QTest::keyClick(dialog->nameEdit(), Qt::Key_Return);
    QTest::keyClick(dialog->typeEdit(), Qt::Key_Enter);
    QTest::keyClick(dialog->nameEdit(), Qt::Key_Escape);
    ProcessEvents();
    EXPECT_EQ(Rows(), 4);
    ASSERT_EQ(window->addAssetDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->nameEdit()->text(), "Delta");
    EXPECT_FALSE(dialog->okButton()->isDefault());
    EXPECT_FALSE(dialog->okButton()->autoDefault());

    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(window->addAssetDialog(), nullptr);
    EXPECT_EQ(Rows(), 4);
}

TEST_F(DialogsTest, AddReadsTheTypeAsANumberInAnyBase) {
    OpenFile(*window, WriteSample());
    for (const char* typed : {"114", "0x72", "0162"}) {
        window->openAddAssetDialog();
        window->addAssetDialog()->typeEdit()->setText(QString::fromLatin1(typed));
        window->addAssetDialog()->indexOffsetEdit()->setText(QStringLiteral("40"));
        QTest::mouseClick(window->addAssetDialog()->okButton(), Qt::LeftButton);
        ProcessEvents();
        const int last = Rows() - 1;
        EXPECT_EQ(Cell(*window, last, 1), "0x00000072") << typed;
        // An empty name adds an unnamed asset.
        EXPECT_EQ(Cell(*window, last, 0), "unnamed asset") << typed;
    }
    EXPECT_EQ(Rows(), 7);
}

TEST_F(DialogsTest, RemoveAndCloseBox) {
    OpenFile(*window, WriteSample());
    window->openRemoveAssetDialog();
    SaveScreenshot(window->removeAssetDialog(), "remove_asset_dialog");
    // The close box cancels.
    window->removeAssetDialog()->close();
    ProcessEvents();
    EXPECT_EQ(window->removeAssetDialog(), nullptr);
    EXPECT_EQ(Rows(), 4);

    // With nothing clicked since the file opened, asset 0 goes.
    window->openRemoveAssetDialog();
    QTest::mouseClick(window->removeAssetDialog()->okButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(Column(*window, 0), QStringList({"alpha", "unnamed asset", "Gamma"}));
}

TEST_F(DialogsTest, RemoveWithNoDocumentJustCloses) {
    window->openRemoveAssetDialog();
    QTest::mouseClick(window->removeAssetDialog()->okButton(), Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(window->removeAssetDialog(), nullptr);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(DialogsTest, AboutShowsCentredLinesAndClosesWithTheCloseBox) {
    window->openAboutDialog();
    AboutDialog* about = window->aboutDialog();
    EXPECT_EQ(about->windowTitle(), "About Kestrova");
    auto* text = about->findChild<QLabel*>(QStringLiteral("aboutText"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);
    const QStringList lines = text->text().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.front(), "Kestrova");
    EXPECT_TRUE(lines.filter(QStringLiteral("2026")).size() == 1);
    EXPECT_FALSE(text->text().contains(QLatin1Char('\r')));
    SaveScreenshot(about, "about_dialog");
    about->close();
    ProcessEvents();
    EXPECT_EQ(window->aboutDialog(), nullptr);
}

TEST(DialogUnitsTest, ConvertsWithTheFontsAverageWidthAndHeight) {
    QFont font;
    const QFontMetrics metrics(font);
    const DialogUnits units(metrics);
    const int average = (metrics.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                             26 +
                         1) /
                        2;
    EXPECT_EQ(units.x(8), 2 * average);
    EXPECT_EQ(units.y(16), 2 * metrics.height());
    EXPECT_EQ(units.rect(4, 8, 4, 8), QRect(average, metrics.height(), average, metrics.height()));
}

}  // namespace
}  // namespace kestrova::testing
