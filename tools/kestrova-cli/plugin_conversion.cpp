#include "tools/kestrova-cli/plugin_conversion.h"

#include <utility>

#include "common/platform.h"
#include "common/text.h"
#include "editor/plugins/asset_context.h"
#include "editor/plugins/plugin_conversion.h"
#include "editor/plugins/plugin_folders.h"
#include "tools/kestrova-cli/cli_support.h"

namespace kestrova::cli {

namespace {

// A refusal the plug-in did not explain may come from a plug-in that needs a window.
Outcome NotConverted(const PluginConversion& conversion) {
    if (conversion.state == PluginBlock::State::Refused && !conversion.reported) {
        return Outcome::Failure(conversion.problem +
                                u" It may not convert without a window, or it refused the data.");
    }
    return Outcome::Failure(conversion.problem);
}

// Hands the asset over without a window, then runs `convert` (a conversion of the plug-in's).
template <class Convert>
Outcome HandOverAndConvert(const PluginRecord& plugin, PluginContextHolder& context,
                           std::span<const std::uint8_t> body, Convert convert) {
    PluginConversion c = HandOverForConversion(plugin, context, body);
    if (c.ok()) {
        c = convert();
    }
    return c.ok() ? Outcome::Success() : NotConverted(c);
}

}  // namespace

void WarningList::Warning(std::u16string_view caption, std::u16string_view text) {
    warnings.push_back(std::u16string(caption) + u": " + std::u16string(text));
}

std::u16string CliPluginsFolder() {
    return ProgramPluginsFolder(
        platform::ModulePath(reinterpret_cast<const void*>(&CliPluginsFolder)));
}

CliPlugins::CliPlugins(const std::u16string& folder) {
    LoadPlugins(table_, folder, sink_);
}

const PluginRecord* CliPlugins::Converter(const AssetFile& doc, std::uint32_t index,
                                          std::u16string_view extension) const {
    return FindConverter(table_, doc.entries[index].typeId, HasTypeTree(doc, index), extension);
}

void CliPlugins::SetContext(const AssetFile& doc, std::uint32_t index, const std::u16string& folder,
                            std::uint32_t importFlags) {
    AssetContext asset = AssetContextOf(doc, index, folder);
    asset.importFlags = importFlags;
    context_.Set(std::move(asset));
    context_.SetArchiveReader(ArchiveReaderOf(doc));
}

Outcome ExportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& out) {
    return HandOverAndConvert(plugin, context, body,
                              [&] { return ExportThroughPlugin(plugin, context, extension, out); });
}

Outcome ImportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& bytes) {
    return HandOverAndConvert(plugin, context, body, [&] {
        return ImportThroughPlugin(plugin, context, extension, bytes);
    });
}

void AddConversionOptions(CLI::App& command, ConversionChoice& choice) {
    command.add_option("--as", choice.extension,
                       "convert through the plug-in that handles the asset's type and lists "
                       "this extension");
    AddPluginsFolderOption(command, choice);
}

void AddPluginsFolderOption(CLI::App& command, ConversionChoice& choice) {
    command.add_option("--plugins", choice.folder,
                       "the plug-ins folder (default: Plugins beside kestrova-cli, or the "
                       "installed ones)");
}

std::u16string PluginsFolder(const ConversionChoice& choice) {
    return choice.folder.empty() ? CliPluginsFolder() : Utf8ToUtf16(choice.folder);
}

const PluginRecord& RequireConverter(const CliPlugins& plugins, const AssetFile& doc,
                                     std::uint32_t index, const std::string& extension) {
    const std::uint32_t typeId = doc.entries[index].typeId;
    const PluginRecord* plugin = plugins.Converter(doc, index, Utf8ToUtf16(extension));
    if (plugin == nullptr) {
        Fail(kInputError, "no plug-in converts assets of type " + Utf16ToUtf8(HexWordText(typeId)) +
                              " to or from ." + extension);
    }
    return *plugin;
}

void ConvertImport(const AssetFile& doc, std::uint32_t index, const std::u16string& folder,
                   const ConversionChoice& choice, std::vector<std::uint8_t>& bytes) {
    CliPlugins plugins(PluginsFolder(choice));
    const PluginRecord& plugin = RequireConverter(plugins, doc, index, choice.extension);
    std::optional<std::vector<std::uint8_t>> body = ReadAssetBody(doc, index);
    if (!body) {
        Fail(kInputError, "cannot read asset " + std::to_string(index));
    }
    plugins.SetContext(doc, index, folder,
                       choice.convertFormat ? KESTROVA_IMPORT_MAY_CONVERT_FORMAT : 0);
    if (Outcome converted =
            ImportThrough(plugin, plugins.context(), *body, Utf8ToUtf16(choice.extension), bytes);
        !converted) {
        Fail(kInputError, converted);
    }
}

}  // namespace kestrova::cli
