#pragma once
// Plug-ins for the command-line tool: the table as the editor would load it, and conversions of
// asset data through a plug-in without a window (the plug-in is given the asset's context and
// data with a null parent and converts what it was given), by the editor's conversion path.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "editor/plugins/plugin_context.h"
#include "editor/plugins/plugin_table.h"

namespace kestrova::cli {

// Keeps warnings for the tool's own output instead of showing them.
class WarningList : public MessageSink {
public:
    void Warning(std::u16string_view caption, std::u16string_view text) override;
    std::vector<std::u16string> warnings;
};

// The plug-ins of kestrova-cli: "Plugins" beside the program (the run folder's), or the installed
// ones.
std::u16string CliPluginsFolder();

class CliPlugins {
public:
    explicit CliPlugins(const std::u16string& folder);

    const PluginTable& table() const { return table_; }
    const std::vector<std::u16string>& warnings() const { return sink_.warnings; }
    // The context of the asset being converted, given to the plug-in before it converts.
    PluginContextHolder& context() { return context_; }

    // The plug-in that converts asset `index` to or from `extension` (FindConverter), or null.
    const PluginRecord* Converter(const AssetFile& doc, std::uint32_t index,
                                  std::u16string_view extension) const;
    // Describes asset `index` of the file in `folder` for the next conversion; `importFlags` are
    // KESTROVA_IMPORT_... flags.
    void SetContext(const AssetFile& doc, std::uint32_t index, const std::u16string& folder,
                    std::uint32_t importFlags = 0);

private:
    WarningList sink_;
    PluginTable table_;
    PluginContextHolder context_;
};

// Converts an asset's body into the data type `extension`, the plug-in given `context` first.
Outcome ExportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& out);
// Converts a file's `bytes` into a new body for the asset whose body is `body`, through every
// data type of the plug-in equal to `extension` (ignoring case), in its order.
Outcome ImportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& bytes);

// --as EXT and --plugins DIR of the export and import commands (list takes --plugins DIR).
struct ConversionChoice {
    std::string extension;       // empty: raw data
    std::string folder;          // empty: the folder beside the program
    bool convertFormat = false;  // import: the asset may change its format (--convert-format)
};
void AddConversionOptions(CLI::App& command, ConversionChoice& choice);
void AddPluginsFolderOption(CLI::App& command, ConversionChoice& choice);
std::u16string PluginsFolder(const ConversionChoice& choice);

// The plug-in that converts asset `index` of `doc` to or from the chosen extension; ends the run
// with status 2 when none does.
const PluginRecord& RequireConverter(const CliPlugins& plugins, const AssetFile& doc,
                                     std::uint32_t index, const std::string& extension);

// Converts a file's bytes into asset `index`'s new body through the chosen plug-in; failures end
// the run with status 2. `folder` is the asset file's.
void ConvertImport(const AssetFile& doc, std::uint32_t index, const std::u16string& folder,
                   const ConversionChoice& choice, std::vector<std::uint8_t>& bytes);

}  // namespace kestrova::cli
