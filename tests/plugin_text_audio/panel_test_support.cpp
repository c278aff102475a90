#include "tests/plugin_text_audio/panel_test_support.h"

#include <filesystem>

#include <QApplication>

namespace kestrova::testing {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "plugin_panel_tests";
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

void SaveScreenshot(QWidget* widget, const std::string& name) {
    const std::filesystem::path folder = KESTROVA_SCREENSHOT_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    widget->grab().save(QString::fromStdString((folder / (name + ".png")).string()), "PNG");
}

PanelTest::PanelTest() : host(std::make_unique<QWidget>()) {
    host->resize(720, 480);
}

PanelTest::~PanelTest() {
    host.reset();
    ProcessEvents();
}

void PanelTest::Place(QWidget* panel) {
    ASSERT_NE(panel, nullptr);
    panel->setGeometry(host->rect());
    panel->show();
    host->show();
    ProcessEvents();
}

}  // namespace kestrova::testing
