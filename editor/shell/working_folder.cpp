#include "editor/shell/working_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/platform.h"
#include "common/text.h"

namespace kestrova {

namespace fs = std::filesystem;

std::u16string UserWorkingFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return Utf8ToUtf16(data) + u"/kestrova";
    }
    const char* home = std::getenv("HOME");
    return Utf8ToUtf16(home != nullptr ? home : "") + u"/.local/share/kestrova";
}

Outcome PrepareUserFolder(const std::u16string& folder, const std::u16string& installedPlugins) {
    const fs::path root(platform::NativePath(folder));
    const fs::path plugins = root / "Plugins";
    const fs::path link = plugins / Utf16ToUtf8(kInstalledPluginsLink);
    const fs::path target(platform::NativePath(installedPlugins));
    std::error_code error;
    fs::create_directories(plugins, error);
    if (!fs::is_directory(plugins, error)) {
        return Outcome::Failure(u"Cannot create the folder " + Utf8ToUtf16(plugins.string()) +
                                u".");
    }
    if (fs::is_symlink(link, error)) {
        if (fs::read_symlink(link, error) == target) {
            return Outcome::Success();
        }
        fs::remove(link, error);
    } else if (fs::exists(link, error)) {
        return Outcome::Success();  // the user's own folder of that name stays
    }
    fs::create_directory_symlink(target, link, error);
    if (error) {
        return Outcome::Failure(u"Cannot link the installed plug-ins into " +
                                Utf8ToUtf16(plugins.string()) + u".");
    }
    return Outcome::Success();
}

}  // namespace kestrova
