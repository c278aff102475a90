#include "tests/plugin_text_audio/panel_test_support.h"

namespace kestrova::testing {

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
