#pragma once
// Package Mod: makes an installer program from the chosen installer template in the data
// folder, with the template's icons replaced by those of the mod's icon file and the mod
// appended exactly as SaveMod writes it. The program is written beside the target and renamed
// over it only when complete, so a failure leaves no half-made program under the chosen name.

#include <optional>
#include <string>

#include "common/outcome.h"
#include "pe/pe_resources.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::ravelin {

// The template called `name` in the installers folder: the file of that name in the folder, or
// else the first of that name in its sub-folders (the installer list shows those by their bare
// names too). Nothing for a name that is not a plain file name.
std::optional<std::u16string> FindInstallerTemplate(const std::u16string& installersFolder,
                                                    const std::u16string& name);

// Packages `mod` with its `installer` from `installersFolder` and its `iconPath`. An icon file
// that cannot be opened keeps the template's icons, as does a template without icon group 102;
// an icon file that is not one is refused. Sorts the mod's entries as saving does. `iconReport`,
// when given, says what the icon step did; `progress` hears of the mod's copy and `stop` ends it
// as SaveMod says, `target` then as it was.
Outcome PackageInstaller(ModRecord& mod, const std::u16string& installersFolder,
                         const std::u16string& target, const ModWorkFiles& files = {},
                         IconReplacement* iconReport = nullptr,
                         const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// `dataFolder` is Ravelin's data folder ("RavelinData" beside the library), whose "installers"
// folder holds the templates; `target` is the program to write.
Outcome PackageMod(ModRecord& mod, const std::u16string& dataFolder, const std::u16string& target,
                   const ModWorkFiles& files = {}, const ProgressCallback& progress = {},
                   const std::stop_token& stop = {});

}  // namespace kestrova::ravelin
