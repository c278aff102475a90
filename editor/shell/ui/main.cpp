// Kestrova: the editor's program. Files and folders are named relative to the folder it runs in
// (preferences, Temp, Plugins): the current directory for a source build's run folder, a folder
// of the user's own for an installed editor. `kestrova FILE` opens FILE at start.

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/folder_lock.h"
#include "common/platform.h"
#include "common/text.h"
#include "editor/plugins/plugin_folders.h"
#include "editor/shell/preferences.h"
#include "editor/shell/ui/main_window.h"
#include "editor/shell/working_folder.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace {

constexpr char kUsage[] =
    "Usage: kestrova [FILE]\n"
    "Opens the editor of Unity asset files, with FILE open when one is given.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

struct CommandLine {
    std::optional<std::string> file;
    int exitStatus = -1;  // set when the program should end at once
};

// Reads the editor's own arguments; Qt's (such as -platform) are taken by the application.
CommandLine ReadCommandLine(int argc, char** argv) {
    CommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            std::fputs(kUsage, stdout);
            line.exitStatus = 0;
            return line;
        } else if (options && argument == "--version") {
            std::puts("kestrova " KESTROVA_VERSION);
            line.exitStatus = 0;
            return line;
        } else if (options && argument.starts_with("-")) {
            // Qt's own options are left to it; the one that takes a value takes it along.
            if (argument == "-platform" || argument == "-style" || argument == "-display") {
                ++i;
            }
        } else if (!line.file) {
            // Named relative to where the user started the program, before it moves.
            std::error_code error;
            line.file = std::filesystem::absolute(std::string(argument), error).string();
        } else {
            std::fprintf(stderr, "kestrova: one file at a time (see --help)\n");
            line.exitStatus = 1;
            return line;
        }
    }
    return line;
}

void ShowStartError(const QString& text) {
    std::fprintf(stderr, "kestrova: %s\n", text.toLocal8Bit().constData());
    if (qEnvironmentVariableIsEmpty("KESTROVA_NO_DIALOGS")) {
        QMessageBox::critical(nullptr, QStringLiteral("Kestrova"), text);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = ReadCommandLine(argc, argv);
    if (line.exitStatus >= 0) {
        return line.exitStatus;
    }
    QApplication application(argc, argv);

    // An installed editor keeps its files in the user's own folder.
    const std::u16string program =
        kestrova::platform::ModulePath(reinterpret_cast<const void*>(&ReadCommandLine));
    if (std::optional<std::u16string> installed = kestrova::InstalledPluginsFolder(program)) {
        const std::u16string folder = kestrova::UserWorkingFolder();
        kestrova::Outcome prepared = kestrova::PrepareUserFolder(folder, *installed);
        std::error_code error;
        std::filesystem::current_path(kestrova::platform::NativePath(folder), error);
        if (!prepared || error) {
            ShowStartError(prepared ? QStringLiteral("Cannot use the folder %1.")
                                          .arg(QString::fromStdU16String(folder))
                                    : QString::fromStdU16String(prepared.message));
            return 1;
        }
    }

    // Two editors in one folder would overwrite each other's working copy.
    kestrova::FolderLock lock;
    if (!lock.Acquire(u".")) {
        ShowStartError(
            QStringLiteral("Kestrova is already running in %1. Close it before starting another "
                           "one here.")
                .arg(QString::fromStdString(std::filesystem::current_path().string())));
        return 1;
    }

    // The preferences place the window, so they are read before it exists.
    kestrova::Preferences preferences;
    kestrova::LoadPreferences(preferences);

    kestrova::MainWindow window(preferences);
    window.CreatePanels();
    if (line.file) {
        window.shell().OpenPath(kestrova::Utf8ToUtf16(*line.file));
    }
    return QApplication::exec();
}
