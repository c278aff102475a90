#include "editor/plugins/plugin_conversion.h"

#include "common/text.h"

namespace kestrova {

namespace {

PluginConversion Failed(const PluginRecord& plugin, const PluginBlock& block,
                        std::u16string_view entryPoint, const std::string& report) {
    const bool reported = block.state == PluginBlock::State::Refused && !report.empty();
    return {BlockProblem(plugin, block, entryPoint, report), block.state, reported};
}

bool ListsExtension(const PluginRecord& plugin, std::u16string_view extension) {
    for (const std::u16string& listed : plugin.descriptor.extensions) {
        if (CompareIgnoringAsciiCase(listed, extension) == 0) {
            return true;
        }
    }
    return false;
}

const PluginRecord* FindListing(const PluginTable& table, std::uint32_t type,
                                std::u16string_view extension) {
    for (const PluginRecord& record : table.plugins) {
        if (record.descriptor.type == type && ListsExtension(record, extension)) {
            return &record;
        }
    }
    return nullptr;
}

}  // namespace

std::u16string PluginLabel(const PluginRecord& plugin) {
    return u"\"" + plugin.descriptor.name + u"\"";
}

std::u16string BlockProblem(const PluginRecord& plugin, const PluginBlock& block,
                            std::u16string_view entryPoint, std::string_view report) {
    const std::u16string who = u"The plug-in " + PluginLabel(plugin);
    switch (block.state) {
        case PluginBlock::State::Missing:
            return who + u" has no " + std::u16string(entryPoint) + u".";
        case PluginBlock::State::Refused:
            if (report.empty()) {
                return who + u" returned no data.";
            }
            return who + u" refused: " + Utf8ToUtf16(report) + (report.ends_with('.') ? u"" : u".");
        case PluginBlock::State::Invalid:
            return who + u" returned invalid data from " + std::u16string(entryPoint) + u".";
        case PluginBlock::State::Taken:
            break;
    }
    return {};
}

const PluginRecord* FindConverter(const PluginTable& table, std::uint32_t classId, bool hasTypeTree,
                                  std::u16string_view extension) {
    if (const PluginRecord* own = FindListing(table, classId, extension)) {
        return own;
    }
    return hasTypeTree ? FindListing(table, KESTROVA_PLUGIN_TYPE_ANY_OTHER, extension) : nullptr;
}

void* HandOverToPlugin(const PluginRecord& plugin, PluginContextHolder& context, void* parent,
                       std::span<const std::uint8_t> body) {
    CallSetPluginContext(plugin, context.context());
    return CallCreatePluginDialog(plugin, parent, body);
}

PluginConversion HandOverForConversion(const PluginRecord& plugin, PluginContextHolder& context,
                                       std::span<const std::uint8_t> body) {
    if (plugin.createPluginDialog == nullptr) {
        return {u"The plug-in " + PluginLabel(plugin) + u" has no CreatePluginDialog.",
                PluginBlock::State::Missing};
    }
    if (!FitsPluginLength(body.size())) {
        return {u"The asset is too large to hand to a plug-in."};
    }
    HandOverToPlugin(plugin, context, nullptr, body);
    return {};
}

PluginConversion ExportThroughPlugin(const PluginRecord& plugin, PluginContextHolder& context,
                                     std::u16string_view extension,
                                     std::vector<std::uint8_t>& out) {
    context.TakeReport();  // what an earlier call reported is not this one's reason
    const PluginBlock block = CallExportData(plugin, extension);
    if (!block.taken()) {
        return Failed(plugin, block, u"ExportData", context.TakeReport());
    }
    out.assign(block.bytes().begin(), block.bytes().end());
    return {};
}

PluginConversion ImportThroughPlugin(const PluginRecord& plugin, PluginContextHolder& context,
                                     std::u16string_view extension,
                                     std::vector<std::uint8_t>& bytes) {
    for (const std::u16string& listed : plugin.descriptor.extensions) {
        if (CompareIgnoringAsciiCase(listed, extension) != 0) {
            continue;
        }
        if (!FitsPluginLength(bytes.size())) {
            return {u"The file is too large to convert."};
        }
        // The plug-in is given the data type as its descriptor spells it.
        context.TakeReport();
        const PluginBlock block =
            CallImportData(plugin, bytes.data(), static_cast<std::int32_t>(bytes.size()), listed);
        if (!block.taken()) {
            return Failed(plugin, block, u"ImportData", context.TakeReport());
        }
        bytes.assign(block.bytes().begin(), block.bytes().end());
    }
    return {};
}

}  // namespace kestrova
