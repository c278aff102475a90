#include "tools/kestrova-cli/plugin_conversion.h"

#include "common/platform.h"
#include "common/text.h"
#include "editor/plugins/asset_context.h"
#include "editor/plugins/plugin_calls.h"
#include "editor/plugins/plugin_folders.h"
#include "tools/kestrova-cli/cli_support.h"

namespace kestrova::cli {

namespace {

// Hands the asset's context and body over without a window. A plug-in that cannot work without
// one says so later by converting nothing.
Outcome HandOver(const PluginRecord& plugin, PluginContextHolder& context,
                 std::span<const std::uint8_t> body) {
    if (plugin.createPluginDialog == nullptr) {
        return Outcome::Failure(u"the plug-in \"" + plugin.descriptor.name +
                                u"\" has no CreatePluginDialog");
    }
    if (!FitsPluginLength(body.size())) {
        return Outcome::Failure(u"the asset is too large to hand to a plug-in");
    }
    CallSetPluginContext(plugin, context.context());
    CallCreatePluginDialog(plugin, nullptr, body);
    return Outcome::Success();
}

Outcome NotConverted(const PluginRecord& plugin, const PluginBlock& block,
                     std::u16string_view entryPoint, const std::string& report) {
    const std::u16string who = u"the plug-in \"" + plugin.descriptor.name + u"\"";
    switch (block.state) {
        case PluginBlock::State::Missing:
            return Outcome::Failure(who + u" has no " + std::u16string(entryPoint));
        case PluginBlock::State::Refused:
            if (!report.empty()) {
                return Outcome::Failure(who + u" refused: " + Utf8ToUtf16(report));
            }
            return Outcome::Failure(who +
                                    u" converted nothing (it may not convert without a "
                                    u"window, or refused the data)");
        default:
            return Outcome::Failure(who + u" returned invalid data from " +
                                    std::u16string(entryPoint));
    }
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
    auto lists = [&](const PluginRecord& record) {
        for (const std::u16string& listed : record.descriptor.extensions) {
            if (CompareIgnoringAsciiCase(listed, extension) == 0) {
                return true;
            }
        }
        return false;
    };
    const std::uint32_t typeId = doc.entries[index].typeId;
    for (const PluginRecord& record : table_.plugins) {
        if (record.descriptor.type == typeId && lists(record)) {
            return &record;
        }
    }
    if (!HasTypeTree(doc, index)) {
        return nullptr;
    }
    for (const PluginRecord& record : table_.plugins) {
        if (record.descriptor.type == KESTROVA_PLUGIN_TYPE_ANY_OTHER && lists(record)) {
            return &record;
        }
    }
    return nullptr;
}

void CliPlugins::SetContext(const AssetFile& doc, std::uint32_t index,
                            const std::u16string& folder) {
    context_.Set(AssetContextOf(doc, index, folder));
}

std::optional<std::uint32_t> CliPlugins::TypeByName(std::u16string_view typeName) const {
    for (const PluginRecord& record : table_.plugins) {
        if (CompareIgnoringAsciiCase(record.descriptor.typeName, typeName) == 0) {
            return record.descriptor.type;
        }
    }
    return std::nullopt;
}

Outcome ExportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& out) {
    if (Outcome given = HandOver(plugin, context, body); !given) {
        return given;
    }
    context.TakeReport();
    PluginBlock block = CallExportData(plugin, extension);
    if (!block.taken()) {
        return NotConverted(plugin, block, u"ExportData", context.TakeReport());
    }
    out.assign(block.bytes().begin(), block.bytes().end());
    return Outcome::Success();
}

Outcome ImportThrough(const PluginRecord& plugin, PluginContextHolder& context,
                      std::span<const std::uint8_t> body, std::u16string_view extension,
                      std::vector<std::uint8_t>& bytes) {
    if (Outcome given = HandOver(plugin, context, body); !given) {
        return given;
    }
    for (const std::u16string& listed : plugin.descriptor.extensions) {
        if (CompareIgnoringAsciiCase(listed, extension) != 0) {
            continue;
        }
        if (!FitsPluginLength(bytes.size())) {
            return Outcome::Failure(u"the file is too large to convert");
        }
        context.TakeReport();
        PluginBlock block =
            CallImportData(plugin, bytes.data(), static_cast<std::int32_t>(bytes.size()), listed);
        if (!block.taken()) {
            return NotConverted(plugin, block, u"ImportData", context.TakeReport());
        }
        bytes.assign(block.bytes().begin(), block.bytes().end());
    }
    return Outcome::Success();
}

void AddConversionOptions(CLI::App& command, ConversionChoice& choice) {
    command.add_option("--as", choice.extension,
                       "convert through the plug-in that handles the asset's type and lists "
                       "this extension");
    command.add_option("--plugins", choice.folder,
                       "the plug-ins folder (default: Plugins beside kestrova-cli)");
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
    plugins.SetContext(doc, index, folder);
    if (Outcome converted =
            ImportThrough(plugin, plugins.context(), *body, Utf8ToUtf16(choice.extension), bytes);
        !converted) {
        Fail(kInputError, converted);
    }
}

}  // namespace kestrova::cli
