#include "editor/plugins/plugin_info.h"

#include "common/text.h"

namespace kestrova {

namespace {

constexpr std::size_t kSummaryCapacity = 2048;

// Spaces that bring a text of `length` characters to `column`, then a tab.
std::u16string Pad(std::size_t length, std::size_t column) {
    std::u16string pad(length < column ? column - length : 0, u' ');
    pad += u'\t';
    return pad;
}

}  // namespace

std::u16string PluginSummaryText(const PluginDescriptor& descriptor) {
    std::u16string text = u"Author: " + descriptor.author + Pad(descriptor.author.size(), 40) +
                          u"Version: " + descriptor.version + u"\r\n";
    text += u"Date Created: " + descriptor.date + Pad(descriptor.date.size(), 34) +
            u"Asset Type: " + descriptor.typeName + u"|" + HexWordText(descriptor.type);
    return CopyLimited(text, kSummaryCapacity);
}

std::u16string PluginListText(const PluginRecord& record) {
    std::u16string text = record.descriptor.name;
    if (!record.loaded()) {
        return text + u" (library not loaded: " + record.libraryPath + u")";
    }
    std::u16string missing;
    for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
        if (!HasEntryPoint(record, i)) {
            missing += missing.empty() ? u"" : u", ";
            missing += Ascii(kEntryPointNames[i].exported);
        }
    }
    if (!missing.empty()) {
        text += u" (missing " + missing + u")";
    }
    return text;
}

}  // namespace kestrova
