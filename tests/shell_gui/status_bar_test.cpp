// The status bar's painting: the done part of the progress surface, the text, and paints that
// come faster than the screen can show.

#include <QApplication>
#include <QImage>

#include "editor/shell/ui/status_bar.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class StatusBarTest : public GuiTest {
protected:
    void SetUp() override { window = Start(); }
    void TearDown() override { Stop(window); }

    // Paints `progress` and returns the picture of the status bar.
    QImage PaintProgress(float progress) {
        window->shell().SetStatus(u"Working", progress);
        ProcessEvents();
        return window->statusBar()->grab().toImage();
    }
    QRgb Highlight() const {
        return window->statusBar()->palette().color(QPalette::Highlight).rgb();
    }
    QRgb Menu() const { return QApplication::palette("QMenu").color(QPalette::Window).rgb(); }

    std::unique_ptr<MainWindow> window;
};

TEST_F(StatusBarTest, DonePartGrowsFromTheLeft) {
    StatusBar* bar = window->statusBar();
    const QRect inside = bar->progressInside();
    const int y = inside.center().y();
    ASSERT_NE(Highlight(), Menu());

    QImage image = PaintProgress(0.0f);
    EXPECT_EQ(bar->doneWidth(), 0);
    EXPECT_EQ(image.pixel(inside.left(), y), Menu());
    EXPECT_EQ(image.pixel(inside.right(), y), Menu());

    image = PaintProgress(0.5f);
    EXPECT_EQ(bar->doneWidth(), static_cast<int>(static_cast<float>(inside.width()) * 0.5f));
    EXPECT_EQ(image.pixel(inside.left(), y), Highlight());
    EXPECT_EQ(image.pixel(inside.left() + bar->doneWidth() - 1, y), Highlight());
    EXPECT_EQ(image.pixel(inside.left() + bar->doneWidth(), y), Menu());

    image = PaintProgress(1.0f);
    EXPECT_EQ(bar->doneWidth(), inside.width());
    EXPECT_EQ(image.pixel(inside.right(), y), Highlight());
    EXPECT_EQ(bar->shownText(), "Working");
}

TEST_F(StatusBarTest, TheLastOfQuickRefreshesIsAlwaysPainted) {
    EditorShell& shell = window->shell();
    for (int i = 0; i < 1000; ++i) {
        shell.SetStatus(u"Step " + Wide(std::to_string(i)), static_cast<float>(i) / 1000.0f);
    }
    // Without returning to the event loop some paints may have been folded; once it runs, the
    // last state is on the screen.
    ProcessEvents();
    EXPECT_EQ(window->statusBar()->shownText(), "Step 999");
    EXPECT_FLOAT_EQ(window->statusBar()->shownProgress(), 0.999f);
}

TEST_F(StatusBarTest, OutOfRangeFractionsStayInsideTheSurface) {
    PaintProgress(7.5f);
    EXPECT_EQ(window->statusBar()->doneWidth(), window->statusBar()->progressInside().width());
    PaintProgress(-1.0f);
    EXPECT_EQ(window->statusBar()->doneWidth(), 0);
}

}  // namespace
}  // namespace kestrova::testing
