#pragma once
// The installer's window: the mod's texts, the game folder (proposed on every drive, or chosen),
// and the Install, Uninstall and Close buttons. The work itself is the portable core's.

#include <string>

#include "common/win32_api.h"
#include "installer/core/mod_apply.h"

namespace kestrova::installer {

// Shows the window for the mod of `source` and runs until it is closed; `folder`, when not
// empty, is proposed first. Returns the program's exit status.
int RunInstallerWindow(HINSTANCE instance, const ModSource& source, const std::u16string& folder);

}  // namespace kestrova::installer
