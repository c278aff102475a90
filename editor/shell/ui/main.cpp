// Kestrova: the editor's program. Files and folders are named relative to the current directory
// (preferences, Temp); the command line is not used.

#include <QApplication>

#include "editor/shell/preferences.h"
#include "editor/shell/ui/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);

    // The preferences place the window, so they are read before it exists.
    kestrova::Preferences preferences;
    kestrova::LoadPreferences(preferences);

    kestrova::MainWindow window(preferences);
    window.CreatePanels();
    return QApplication::exec();
}
