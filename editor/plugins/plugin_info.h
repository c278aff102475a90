#pragma once
// The texts of the Plugin Info dialog, built from the plug-in table alone.

#include <string>

#include "editor/plugins/plugin_table.h"

namespace kestrova {

// "Author: %s%sVersion: %s\r\n" then "Date Created: %s%sAsset Type: %s|0x%08X", each pad being
// spaces up to column 40 (after the author) or 34 (after the date) and a tab; a longer text gets
// the tab alone. At most 2047 characters.
std::u16string PluginSummaryText(const PluginDescriptor& descriptor);

// The plug-in's line in the dialog's list: its name, and when it cannot work, why: the library
// did not load, or which entry points it lacks.
std::u16string PluginListText(const PluginRecord& record);

}  // namespace kestrova
