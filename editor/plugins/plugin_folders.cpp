#include "editor/plugins/plugin_folders.h"

#include <filesystem>
#include <system_error>

#include "common/platform.h"
#include "common/text.h"

namespace kestrova {

namespace fs = std::filesystem;

std::optional<std::u16string> InstalledPluginsFolder(const std::u16string& programPath) {
    const fs::path bin = fs::path(platform::NativePath(programPath)).parent_path();
    if (bin.filename() != "bin") {
        return std::nullopt;
    }
    const fs::path plugins = bin.parent_path() / "lib" / "kestrova" / "Plugins";
    std::error_code error;
    if (!fs::is_directory(plugins, error)) {
        return std::nullopt;
    }
    return Utf8ToUtf16(plugins.string());
}

std::u16string ProgramPluginsFolder(const std::u16string& programPath) {
    if (std::optional<std::u16string> installed = InstalledPluginsFolder(programPath)) {
        return *installed;
    }
    return programPath.substr(0, FileNameStart(programPath)) + u"Plugins";
}

}  // namespace kestrova
