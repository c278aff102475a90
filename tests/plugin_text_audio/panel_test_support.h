#pragma once
// The panel tests' shared pieces: one QApplication for the test program, a host window that the
// panels are made in, and screenshots saved as <build>/screenshots/<name>.png.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QWidget>

namespace kestrova::testing {

// Runs the posted events, deferred deletions included.
void ProcessEvents();
void SaveScreenshot(QWidget* widget, const std::string& name);

class PanelTest : public ::testing::Test {
protected:
    PanelTest();
    ~PanelTest() override;

    // Lays `panel` out in the host window as the editor places it, and shows it.
    void Place(QWidget* panel);

    std::unique_ptr<QWidget> host;
};

}  // namespace kestrova::testing
