#include "editor/shell/file_dialog.h"

#include "common/text.h"

namespace kestrova {

namespace {

// Characters the filter list occupies in the window system's format: every pair as description,
// terminator, pattern, terminator, and one more terminator that ends the list.
std::size_t FilterListLength(const std::vector<FileFilter>& filters) {
    std::size_t length = 1;
    for (const FileFilter& filter : filters) {
        length += filter.description.size() + 1 + filter.pattern.size() + 1;
    }
    return length;
}

}  // namespace

std::uint32_t ExtensionOffset(std::u16string_view path) {
    std::size_t nameStart = FileNameStart(path);
    std::size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string_view::npos || dot < nameStart) {
        return 0;
    }
    return static_cast<std::uint32_t>(dot + 1);
}

void FileDialog::ClearFilters() {
    filters.clear();
}

bool FileDialog::AddFilter(std::u16string description, std::u16string pattern) {
    std::size_t added = description.size() + 1 + pattern.size() + 1;
    if (FilterListLength(filters) + added > kFilterCapacity) {
        return false;
    }
    filters.push_back({std::move(description), std::move(pattern)});
    return true;
}

namespace {

std::optional<std::u16string> RunChooser(FileDialog& dialog, FileChooser& chooser,
                                         FileChooserRequest request,
                                         std::u16string& initialFolder) {
    request.filters = dialog.filters;
    request.filterIndex = dialog.chosenFilterIndex;
    request.initialFolder = initialFolder;
    std::optional<FileChoice> choice = chooser.Choose(request);
    if (!choice || choice->path.empty()) {
        return std::nullopt;
    }
    // The next dialog of any kind opens in this folder with this filter preselected.
    initialFolder = choice->path.substr(0, FileNameStart(choice->path));
    dialog.extensionOffset = ExtensionOffset(choice->path);
    dialog.chosenFilterIndex = choice->filterIndex;
    return std::move(choice->path);
}

}  // namespace

std::optional<std::u16string> FileDialog::ShowOpenDialog(FileChooser& chooser,
                                                         std::u16string& initialFolder,
                                                         std::u16string_view initialName,
                                                         std::u16string_view title) {
    FileChooserRequest request;
    request.save = false;
    request.title = title;
    request.initialName = initialName;
    return RunChooser(*this, chooser, std::move(request), initialFolder);
}

std::optional<std::u16string> FileDialog::ShowSaveDialog(FileChooser& chooser,
                                                         std::u16string& initialFolder,
                                                         std::u16string_view initialName,
                                                         std::u16string_view title,
                                                         std::u16string_view defaultExtension) {
    FileChooserRequest request;
    request.save = true;
    request.title = title;
    request.initialName = initialName;
    request.defaultExtension = defaultExtension;
    return RunChooser(*this, chooser, std::move(request), initialFolder);
}

}  // namespace kestrova
