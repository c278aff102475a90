#include "tests/shell_gui/gui_test_support.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QTest>

#include "common/text.h"
#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "editor/tasks/task_runner.h"

namespace kestrova::testing {
namespace {

// One application object for the whole test program, made before the first test and destroyed
// after the last one.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "shell_gui_tests";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void ProcessEvents() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WaitForLongWork(TaskRunner& runner) {
    while (runner.running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ProcessEvents();
}

void WaitForLongWork(MainWindow& window) {
    WaitForLongWork(*window.taskRunner());
}

void SaveScreenshot(QWidget* widget, const std::string& name) {
    const std::filesystem::path folder = KESTROVA_SCREENSHOT_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    widget->grab().save(QString::fromStdString((folder / (name + ".png")).string()), "PNG");
}

QString PrintableLatin1() {
    QString characters;
    for (char16_t c = 0x20; c <= 0xFF; ++c) {
        if (c < 0x7F || c >= 0xA0) {
            characters.append(QChar(c));
        }
    }
    return characters;
}

QString UnequalAdvances(const QFont& font, const QString& text) {
    const QFontMetricsF metrics(font);
    QString unequal;
    for (QChar c : text) {
        if (metrics.horizontalAdvance(c) != metrics.horizontalAdvance(text.front())) {
            unequal.append(c);
        }
    }
    return unequal;
}

GuiTest::GuiTest() : previousDirectory_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.path());
}

GuiTest::~GuiTest() {
    std::filesystem::current_path(previousDirectory_);
}

std::u16string GuiTest::Wide(const std::string& text) {
    return Utf8ToUtf16(text);
}

std::unique_ptr<MainWindow> GuiTest::Start() {
    Preferences preferences;
    LoadPreferences(preferences);
    auto window = std::make_unique<MainWindow>(preferences, &chooser, &messages);
    window->CreatePanels();
    ProcessEvents();
    return window;
}

void GuiTest::Stop(std::unique_ptr<MainWindow>& window) {
    window->close();
    window.reset();
    ProcessEvents();
}

std::string GuiTest::WriteSample() {
    AssetFileBuilder builder;
    Bytes body1(2000);
    Bytes body3(1100);
    for (std::size_t i = 0; i < body1.size(); ++i) {
        body1[i] = static_cast<std::uint8_t>(i * 7);
    }
    for (std::size_t i = 0; i < body3.size(); ++i) {
        body3[i] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    builder.Add("Beta", 28, 3, Bytes(10, 0x42))
        .Add("alpha", 114, 1, body1)
        .Add("", 83, 7, {})
        .Add("Gamma", 28, 2, body3);
    const std::string path = Path("sample.assets");
    WriteBytes(path, builder.Build());
    return path;
}

void GuiTest::OpenFile(MainWindow& window, const std::string& path) {
    chooser.Next(Wide(path), 1);
    window.findChild<QAction*>(QStringLiteral("openAction"))->trigger();
    WaitForLongWork(window);
}

void GuiTest::SaveAs(MainWindow& window, const std::string& path) {
    chooser.Next(Wide(path), 1);
    window.findChild<QAction*>(QStringLiteral("saveAsAction"))->trigger();
    WaitForLongWork(window);
}

QString GuiTest::Cell(MainWindow& window, int row, int column) {
    const AssetTableModel* model = window.listPanel()->model();
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

QStringList GuiTest::Column(MainWindow& window, int column) {
    QStringList texts;
    const int rows = window.listPanel()->model()->rowCount();
    for (int row = 0; row < rows; ++row) {
        texts << Cell(window, row, column);
    }
    return texts;
}

void GuiTest::ClickRow(MainWindow& window, int row) {
    AssetListView* view = window.listPanel()->view();
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    ProcessEvents();
}

void GuiTest::ClickHeader(MainWindow& window, int column) {
    QHeaderView* header = window.listPanel()->view()->header();
    const QPoint point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    ProcessEvents();
}

void GuiTest::PressKey(MainWindow& window, int key) {
    QTest::keyClick(window.listPanel()->view(), static_cast<Qt::Key>(key));
    ProcessEvents();
}

}  // namespace kestrova::testing
