#pragma once
// What every offscreen Qt test program shares: one QApplication for the whole program (made
// before the first test, destroyed after the last), running the posted events, and pictures of
// widgets for a person to look at.

#include <string>

class QWidget;

namespace kestrova::testing {

// Runs the deferred deletions and other posted events.
void ProcessEvents();

// Saves a picture of `widget` as <build>/screenshots/<name>.png.
void SaveScreenshot(QWidget* widget, const std::string& name);

}  // namespace kestrova::testing
