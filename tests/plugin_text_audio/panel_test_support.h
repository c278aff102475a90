#pragma once
// The panel tests' fixture: a host window that the plug-ins make their panels in, as the editor's
// main window is, destroyed with whatever the test left in it.

#include <gtest/gtest.h>

#include <memory>

#include <QWidget>

#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {

class PanelTest : public ::testing::Test {
protected:
    PanelTest();
    ~PanelTest() override;

    // Lays `panel` out over the host window and shows both.
    void Place(QWidget* panel);

    std::unique_ptr<QWidget> host;
};

}  // namespace kestrova::testing
