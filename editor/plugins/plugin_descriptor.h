#pragma once
// What a plug-in's descriptor file (".plg") says about it: its name and texts for the Plugin Info
// dialog, the library that holds its code, the asset type it handles and the data types it
// converts asset data to and from.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/markup_reader.h"

namespace kestrova {

struct PluginDescriptor {
    // Capacities of the fields in code units, terminator included: a value is cut to one less.
    static constexpr std::size_t kTextCapacity = 256;
    static constexpr std::size_t kLibraryCapacity = 512;
    static constexpr std::size_t kLongTextCapacity = 2048;
    static constexpr std::size_t kExtensionCapacity = 10;

    std::u16string name;
    std::u16string author;
    std::u16string version;
    std::u16string date;
    std::u16string mainLibrary;  // relative to the descriptor's folder
    std::u16string description;
    std::u16string instructions;
    std::uint32_t type = 0;   // the asset type id the plug-in handles
    std::u16string typeName;  // that type's display name; "Hex" and "Mod" name the panel modes
    // The data types, in file order: extensions[k] (without the dot) with its filter text.
    std::vector<std::u16string> extensions;
    std::vector<std::u16string> filters;

    std::uint32_t extensionCount() const { return static_cast<std::uint32_t>(extensions.size()); }
};

// Sets every field to its default: "untitled", "unknown", "not set" for the texts, no library,
// type 0 without a name, no data types.
void ResetPluginDescriptor(PluginDescriptor& descriptor);

// Copies what a parsed descriptor file holds into `descriptor`; values that are not there keep
// what the descriptor held. Element and attribute names match ignoring the case of A-Z; only the
// first `plugin`, `description`, `instructions` and `plugindata` count, every `extension` counts.
// Always true.
bool ReadPluginDescriptor(const MarkupDocument& document, PluginDescriptor& descriptor);

}  // namespace kestrova
