#pragma once
// What the mod form asks of the window system: warnings, choosing a file or a folder, and running
// the long part of an action. The plug-in's Qt form implements them with real dialogs and a
// worker thread; tests script them.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "common/worker_work.h"
#include "plugins/ravelin/core/mod_file.h"

namespace kestrova::ravelin {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A warning with one OK button and no owner window.
    virtual void Warn(std::u16string_view caption, std::u16string_view text) = 0;
};

struct FileFilter {
    std::u16string description;  // shown as it stands, e.g. "Unity Mod File (*.umod)"
    std::u16string pattern;      // "*.umod"; "*.*" stands for every file
};

struct FileRequest {
    bool save = false;  // a save dialog (asks before replacing a file) or an open dialog
    std::u16string title;
    std::vector<FileFilter> filters;
};

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::u16string> Choose(const FileRequest& request) = 0;
};

class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // The chosen folder's path, or nothing when the user cancelled.
    virtual std::optional<std::u16string> ChooseFolder(std::u16string_view title) = 0;
};

// The long part of an action (copying a mod's data): it works on copies of what it needs.
using ModWork = WorkerWork;

class WorkRunner {
public:
    virtual ~WorkRunner() = default;
    // Runs `work` and then `done` with its outcome, both on the caller's thread's terms: a window
    // runs the work off its thread behind a modal progress dialog titled `caption` with Cancel,
    // and calls `done` on its own thread afterwards.
    virtual void Run(std::u16string_view caption, ModWork work,
                     std::function<void(const Outcome&)> done) = 0;
};

}  // namespace kestrova::ravelin
