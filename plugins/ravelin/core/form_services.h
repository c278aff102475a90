#pragma once
// What the mod form asks of the window system: warnings, and choosing a file or a folder. The
// plug-in's Qt form implements them with real dialogs; tests script them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace kestrova::ravelin
