#pragma once
// Package Mod: makes an installer program from the chosen installer template in the data
// folder, with the mod appended exactly as SaveMod writes it.

#include <string>

#include "common/outcome.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::ravelin {

// `dataFolder` is Ravelin's data folder ("RavelinData" beside the library), whose "installers"
// folder holds the templates; `target` is the program to write. Sorts the mod's entries as
// saving does.
Outcome PackageMod(ModRecord& mod, const std::u16string& dataFolder, const std::u16string& target,
                   const ModWorkFiles& files = {});

}  // namespace kestrova::ravelin
