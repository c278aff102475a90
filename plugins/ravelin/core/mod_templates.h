#pragma once
// Ravelin's data folder beside its library: the installer templates offered in the "Installer"
// box, and the mod templates of "modtemplates.xml", each of which presets a game's folder,
// verify file and installer.

#include <string>
#include <vector>

#include "common/string_list.h"

namespace kestrova::ravelin {

struct ModTemplate {
    std::u16string name = u"not set";        // 127 at most
    std::u16string directory = u"not set";   // 511 at most
    std::u16string verifyFile = u"not set";  // 127 at most
    std::u16string installer = u"not set";   // 127 at most

    bool operator==(const ModTemplate&) const = default;
};

// "RavelinData" in the folder of the library file at `libraryPath`; empty when that is unknown.
std::u16string DataFolderBeside(const std::u16string& libraryPath);
std::u16string InstallersFolder(const std::u16string& dataFolder);
std::u16string TemplatesFile(const std::u16string& dataFolder);

// Appends the templates of the file at `path`: every "template" child of the root
// "modtemplate", its attributes "name", "directory", "verifyfile" and "installer" (in any
// letter case; a missing one stays "not set"). A missing file or another root gives none.
// Always true.
bool LoadTemplates(const std::u16string& path, std::vector<ModTemplate>& templates);

// Fills `installers` with the bare names of every entry without an extension in the installers
// folder and its sub-folders, in the system's order of listing.
void ScanInstallers(const std::u16string& installersFolder, StringList& installers);

}  // namespace kestrova::ravelin
