#pragma once
// Where the plug-ins of a program lie: in a source build's run folder beside the programs
// (<run>/Plugins), in an installed one under <prefix>/lib/kestrova/Plugins for the programs in
// <prefix>/bin.

#include <optional>
#include <string>

namespace kestrova {

// <prefix>/lib/kestrova/Plugins when the program at `programPath` is an installed one.
std::optional<std::u16string> InstalledPluginsFolder(const std::u16string& programPath);

// The installed plug-ins of the program at `programPath`, or the folder "Plugins" beside it.
std::u16string ProgramPluginsFolder(const std::u16string& programPath);

}  // namespace kestrova
