#include "editor/plugins/plugin_conversion.h"

#include "common/text.h"

namespace kestrova {

namespace {

PluginConversion Failed(const PluginRecord& plugin, const PluginBlock& block,
                        std::u16string_view entryPoint) {
    return {BlockProblem(plugin, block, entryPoint), block.state};
}

}  // namespace

std::u16string PluginLabel(const PluginRecord& plugin) {
    return u"\"" + plugin.descriptor.name + u"\"";
}

std::u16string BlockProblem(const PluginRecord& plugin, const PluginBlock& block,
                            std::u16string_view entryPoint) {
    const std::u16string who = u"The plug-in " + PluginLabel(plugin);
    switch (block.state) {
        case PluginBlock::State::Missing:
            return who + u" has no " + std::u16string(entryPoint) + u".";
        case PluginBlock::State::Refused:
            return who + u" returned no data.";
        case PluginBlock::State::Invalid:
            return who + u" returned invalid data from " + std::u16string(entryPoint) + u".";
        case PluginBlock::State::Taken:
            break;
    }
    return {};
}

PluginConversion ExportThroughPlugin(const PluginRecord& plugin, std::u16string_view extension,
                                     std::vector<std::uint8_t>& out) {
    const PluginBlock block = CallExportData(plugin, extension);
    if (!block.taken()) {
        return Failed(plugin, block, u"ExportData");
    }
    out.assign(block.bytes().begin(), block.bytes().end());
    return {};
}

PluginConversion ImportThroughPlugin(const PluginRecord& plugin, std::u16string_view extension,
                                     std::vector<std::uint8_t>& bytes) {
    for (const std::u16string& listed : plugin.descriptor.extensions) {
        if (CompareIgnoringAsciiCase(listed, extension) != 0) {
            continue;
        }
        if (!FitsPluginLength(bytes.size())) {
            return {u"The file is too large to convert."};
        }
        // The plug-in is given the data type as its descriptor spells it.
        const PluginBlock block =
            CallImportData(plugin, bytes.data(), static_cast<std::int32_t>(bytes.size()), listed);
        if (!block.taken()) {
            return Failed(plugin, block, u"ImportData");
        }
        bytes.assign(block.bytes().begin(), block.bytes().end());
    }
    return {};
}

}  // namespace kestrova
