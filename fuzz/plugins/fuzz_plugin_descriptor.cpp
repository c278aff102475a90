// Reads arbitrary bytes as a plug-in descriptor and checks that every field stays within its
// capacity, that the data types pair up, and that the Plugin Info texts can be built from it.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "editor/plugins/plugin_descriptor.h"
#include "editor/plugins/plugin_info.h"

namespace {

using namespace kestrova;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MarkupDocument document;
    ParseDocument(std::string_view(reinterpret_cast<const char*>(data), size), document,
                  kKestrovaMarkupLimits);
    PluginRecord record;
    ResetPluginDescriptor(record.descriptor);
    ReadPluginDescriptor(document, record.descriptor);
    const PluginDescriptor& d = record.descriptor;
    for (const std::u16string* text : {&d.name, &d.author, &d.version, &d.date, &d.typeName}) {
        Check(text->size() < PluginDescriptor::kTextCapacity);
    }
    Check(d.mainLibrary.size() < PluginDescriptor::kLibraryCapacity);
    Check(d.description.size() < PluginDescriptor::kLongTextCapacity);
    Check(d.instructions.size() < PluginDescriptor::kLongTextCapacity);
    Check(d.extensions.size() == d.filters.size());
    for (std::size_t k = 0; k < d.extensions.size(); ++k) {
        Check(d.extensions[k].size() < PluginDescriptor::kExtensionCapacity);
        Check(d.filters[k].size() < PluginDescriptor::kTextCapacity);
    }
    Check(PluginSummaryText(d).size() < 2048);
    PluginListText(record);
    return 0;
}
