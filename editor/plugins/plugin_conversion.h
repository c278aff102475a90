#pragma once
// Asset data handed to a plug-in and converted through its data types, as Export and Import
// convert it in the editor's "Plug-in" mode and kestrova-cli's --as does: the plug-in is given the
// asset's context and data, and converts the asset it was handed last. Blocks the plug-in returns
// are taken over and released here; a refusal is told in the plug-in's own words when it
// reported them through the context.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/plugins/plugin_calls.h"
#include "editor/plugins/plugin_context.h"
#include "editor/plugins/plugin_table.h"

namespace kestrova {

// What became of a conversion.
struct PluginConversion {
    // Why nothing was converted, as a sentence ("The plug-in "Texture" returned no data."); empty
    // when the conversion succeeded.
    std::u16string problem;
    // What the entry point that failed returned (Taken when no entry point failed).
    PluginBlock::State state = PluginBlock::State::Taken;
    // Whether `problem` gives the plug-in's own reason for refusing.
    bool reported = false;

    bool ok() const { return problem.empty(); }
};

// The plug-in that converts an asset of class `classId` to or from `extension` (ignoring case):
// the first that claims the class and lists the extension, else, when the asset's file keeps a
// type tree for the class, the first that takes any other class and lists it; null when none
// does.
const PluginRecord* FindConverter(const PluginTable& table, std::uint32_t classId, bool hasTypeTree,
                                  std::u16string_view extension);

// Hands an asset to the plug-in: the asset's context (to a plug-in that takes one), then its data
// through CreatePluginDialog. The panel the plug-in made, or null.
void* HandOverToPlugin(const PluginRecord& plugin, PluginContextHolder& context, void* parent,
                       std::span<const std::uint8_t> body);

// The same without a window, before a conversion: refused when the plug-in cannot be given the
// data at all. A plug-in that cannot convert without a window says so later by converting
// nothing.
PluginConversion HandOverForConversion(const PluginRecord& plugin, PluginContextHolder& context,
                                       std::span<const std::uint8_t> body);

// The asset the plug-in holds, converted into its data type `extension`. `context` is the one the
// plug-in was handed with the asset.
PluginConversion ExportThroughPlugin(const PluginRecord& plugin, PluginContextHolder& context,
                                     std::u16string_view extension, std::vector<std::uint8_t>& out);

// A file's `bytes` converted into a new body for the asset the plug-in holds: through every data
// type of the plug-in whose extension is `extension` (ignoring case), in the descriptor's order,
// each converting what the one before gave. Without such a data type the bytes stay as they
// are. On a failure `bytes` keeps what the last data type gave.
PluginConversion ImportThroughPlugin(const PluginRecord& plugin, PluginContextHolder& context,
                                     std::u16string_view extension,
                                     std::vector<std::uint8_t>& bytes);

// The plug-in's name for texts: its descriptor name in quotes.
std::u16string PluginLabel(const PluginRecord& plugin);

// Why a block the plug-in returned from `entryPoint` cannot be used, as a sentence; a refusal in
// the plug-in's words when it `report`ed them; empty for a block that was taken.
std::u16string BlockProblem(const PluginRecord& plugin, const PluginBlock& block,
                            std::u16string_view entryPoint, std::string_view report = {});

}  // namespace kestrova
