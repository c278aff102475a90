#include "tests/shell_gui/qt_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QWidget>

namespace kestrova::testing {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kestrova_gui_tests";
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

}  // namespace kestrova::testing
