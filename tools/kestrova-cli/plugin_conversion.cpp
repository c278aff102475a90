#include "tools/kestrova-cli/plugin_conversion.h"

#include "common/platform.h"
#include "common/text.h"
#include "editor/plugins/plugin_calls.h"
#include "editor/plugins/plugin_conversion.h"
#include "editor/plugins/plugin_folders.h"
#include "tools/kestrova-cli/cli_support.h"

namespace kestrova::cli {

namespace {

// Hands the asset's body over without a window. A plug-in that cannot work without one says so
// later by converting nothing.
Outcome HandOver(const PluginRecord& plugin, std::span<const std::uint8_t> body) {
    if (plugin.createPluginDialog == nullptr) {
        return Outcome::Failure(u"The plug-in " + PluginLabel(plugin) +
                                u" has no CreatePluginDialog.");
    }
    if (!FitsPluginLength(body.size())) {
        return Outcome::Failure(u"The asset is too large to hand to a plug-in.");
    }
    CallCreatePluginDialog(plugin, nullptr, body);
    return Outcome::Success();
}

// A plug-in that needs a window refuses to convert without one, and says no more.
Outcome NotConverted(const PluginConversion& conversion) {
    if (conversion.state == PluginBlock::State::Refused) {
        return Outcome::Failure(conversion.problem +
                                u" It may not convert without a window, or it refused the data.");
    }
    return Outcome::Failure(conversion.problem);
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

const PluginRecord* CliPlugins::Converter(std::uint32_t typeId,
                                          std::u16string_view extension) const {
    for (const PluginRecord& record : table_.plugins) {
        if (record.descriptor.type != typeId) {
            continue;
        }
        for (const std::u16string& listed : record.descriptor.extensions) {
            if (CompareIgnoringAsciiCase(listed, extension) == 0) {
                return &record;
            }
        }
    }
    return nullptr;
}

Outcome ExportThrough(const PluginRecord& plugin, std::span<const std::uint8_t> body,
                      std::u16string_view extension, std::vector<std::uint8_t>& out) {
    if (Outcome given = HandOver(plugin, body); !given) {
        return given;
    }
    if (PluginConversion c = ExportThroughPlugin(plugin, extension, out); !c.ok()) {
        return NotConverted(c);
    }
    return Outcome::Success();
}

Outcome ImportThrough(const PluginRecord& plugin, std::span<const std::uint8_t> body,
                      std::u16string_view extension, std::vector<std::uint8_t>& bytes) {
    if (Outcome given = HandOver(plugin, body); !given) {
        return given;
    }
    if (PluginConversion c = ImportThroughPlugin(plugin, extension, bytes); !c.ok()) {
        return NotConverted(c);
    }
    return Outcome::Success();
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
    const PluginRecord* plugin = plugins.Converter(typeId, Utf8ToUtf16(extension));
    if (plugin == nullptr) {
        Fail(kInputError, "no plug-in converts assets of type " + Utf16ToUtf8(HexWordText(typeId)) +
                              " to or from ." + extension);
    }
    return *plugin;
}

void ConvertImport(const AssetFile& doc, std::uint32_t index, const ConversionChoice& choice,
                   std::vector<std::uint8_t>& bytes) {
    CliPlugins plugins(PluginsFolder(choice));
    const PluginRecord& plugin = RequireConverter(plugins, doc, index, choice.extension);
    std::optional<std::vector<std::uint8_t>> body = ReadAssetBody(doc, index);
    if (!body) {
        Fail(kInputError, "cannot read asset " + std::to_string(index));
    }
    if (Outcome converted = ImportThrough(plugin, *body, Utf8ToUtf16(choice.extension), bytes);
        !converted) {
        Fail(kInputError, converted);
    }
}

}  // namespace kestrova::cli
