#pragma once
// The one file dialog object that Open, Save As, Export and Import share: its filter list, and what
// the last dialog chose (carried to the next dialog of any kind).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

struct FileFilter {
    std::u16string description;  // e.g. "Unity Asset File (*.assets)"
    std::u16string pattern;      // e.g. "*.assets"; "*.*" stands for every file
};

// One request to the user for a file, as the window system's chooser receives it.
struct FileChooserRequest {
    bool save = false;  // a save dialog (asks before overwriting) or an open dialog
    std::u16string title;
    std::vector<FileFilter> filters;
    std::uint32_t filterIndex = 1;    // 1-based; the filter to preselect
    std::u16string initialFolder;     // may be empty
    std::u16string initialName;       // may be " " (nothing) as the commands prepare it
    std::u16string defaultExtension;  // save dialogs only
};

struct FileChoice {
    std::u16string path;
    std::uint32_t filterIndex = 1;  // 1-based position of the filter chosen
};

// The window system's file chooser (a real dialog in the editor, a script in tests).
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Nothing when the user cancelled.
    virtual std::optional<FileChoice> Choose(const FileChooserRequest& request) = 0;
};

// Position in `path` of the text after the last dot of its file name; 0 when the name has no dot.
std::uint32_t ExtensionOffset(std::u16string_view path);

struct FileDialog {
    static constexpr std::size_t kFilterCapacity = 2048;  // characters of the filter list

    std::vector<FileFilter> filters;
    std::uint32_t extensionOffset = 0;    // of the last chosen path's extension; 0 when it has none
    std::uint32_t chosenFilterIndex = 1;  // 1-based, carried from one dialog to the next

    void ClearFilters();
    // Appends one filter; refused (false) when the list would exceed its capacity.
    bool AddFilter(std::u16string description, std::u16string pattern);

    // Runs an open or save dialog. On success `initialFolder` becomes the chosen file's folder
    // (with its trailing separator), extensionOffset and chosenFilterIndex are updated, and the
    // chosen path is returned.
    std::optional<std::u16string> ShowOpenDialog(FileChooser& chooser,
                                                 std::u16string& initialFolder,
                                                 std::u16string_view initialName,
                                                 std::u16string_view title);
    std::optional<std::u16string> ShowSaveDialog(FileChooser& chooser,
                                                 std::u16string& initialFolder,
                                                 std::u16string_view initialName,
                                                 std::u16string_view title,
                                                 std::u16string_view defaultExtension);
};

}  // namespace kestrova
