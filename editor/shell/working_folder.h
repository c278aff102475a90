#pragma once
// Where the editor runs. A source build runs in its run folder, the current directory in which
// it was started. An installed editor (the program in <prefix>/bin, its plug-ins in
// <prefix>/lib/kestrova/Plugins) runs in a folder of the user's own, which holds the preferences,
// Temp/ and a Plugins/ folder for the user's plug-ins with a link to the installed ones.

#include <optional>
#include <string>

#include "common/outcome.h"

namespace kestrova {

// The name of the link inside the user's Plugins/ that leads to the installed plug-ins.
inline constexpr char16_t kInstalledPluginsLink[] = u"installed";

// $XDG_DATA_HOME/kestrova, or ~/.local/share/kestrova when that is not set.
std::u16string UserWorkingFolder();

// Creates `folder` and its Plugins/ folder, and makes Plugins/installed lead to
// `installedPlugins` (replacing a link that leads elsewhere, never a real folder).
Outcome PrepareUserFolder(const std::u16string& folder, const std::u16string& installedPlugins);

}  // namespace kestrova
