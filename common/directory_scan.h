#pragma once
// Collects the paths of every entry of one extension in a folder and all of its sub-folders.

#include <string>

#include "string_list.h"

namespace kestrova {

// Appends to `list` (without emptying it first, and without duplicate checks, tag 0) the path
// "folder/name" of every entry whose extension is exactly `extension` (case-sensitive; given
// without the dot). A name's extension is what follows its last dot, a dot in first place not
// counting; it is empty when there is no such dot or the dot ends the name, so an empty `extension`
// selects names without one. Folders whose names pass are added like files.
//
// Order: the folder's own matches in the order the system lists them, then each sub-folder in turn,
// depth first. A folder that is missing or unreadable contributes nothing. Paths longer than a
// list slot (2047 code units) are skipped and not entered. A folder reached again through a link
// to one of its own ancestors is not entered a second time, so linked loops end. Always true.
bool ScanDirectory(StringList& list, const std::u16string& folder, const std::u16string& extension);

}  // namespace kestrova
