#pragma once
// Asset data converted through a plug-in's data types, as Export and Import convert it in the
// editor's "Plug-in" mode and kestrova-cli's --as does: the plug-in converts the asset it was
// handed last. Blocks the plug-in returns are taken over and released here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/plugins/plugin_calls.h"
#include "editor/plugins/plugin_table.h"

namespace kestrova {

// What became of a conversion.
struct PluginConversion {
    // Why nothing was converted, as a sentence ("The plug-in "Texture" returned no data."); empty
    // when the conversion succeeded.
    std::u16string problem;
    // What the entry point that failed returned (Taken when no entry point failed).
    PluginBlock::State state = PluginBlock::State::Taken;

    bool ok() const { return problem.empty(); }
};

// The asset the plug-in holds, converted into its data type `extension`.
PluginConversion ExportThroughPlugin(const PluginRecord& plugin, std::u16string_view extension,
                                     std::vector<std::uint8_t>& out);

// A file's `bytes` converted into a new body for the asset the plug-in holds: through every data
// type of the plug-in whose extension is `extension` (ignoring case), in the descriptor's order,
// each converting what the one before gave. Without such a data type the bytes stay as they
// are. On a failure `bytes` keeps what the last data type gave.
PluginConversion ImportThroughPlugin(const PluginRecord& plugin, std::u16string_view extension,
                                     std::vector<std::uint8_t>& bytes);

// The plug-in's name for texts: its descriptor name in quotes.
std::u16string PluginLabel(const PluginRecord& plugin);

// Why a block the plug-in returned from `entryPoint` cannot be used, as a sentence; empty for a
// block that was taken.
std::u16string BlockProblem(const PluginRecord& plugin, const PluginBlock& block,
                            std::u16string_view entryPoint);

}  // namespace kestrova
