#include "editor/plugins/plugin_descriptor.h"

#include <string_view>

#include "common/number_text.h"
#include "common/text.h"

namespace kestrova {

namespace {

// Copies an attribute's value into `field`, cut to the field; a missing attribute leaves it.
void CopyAttribute(const MarkupNode& node, std::u16string_view name, std::u16string& field,
                   std::size_t capacity) {
    if (const MarkupAttribute* attribute = FindAttribute(node, name)) {
        field = CopyLimited(attribute->value, capacity);
    }
}

void CopyChildText(const MarkupNode& node, std::u16string_view name, std::u16string& field) {
    if (const MarkupNode* child = FindChild(node, name, 0)) {
        field = CopyLimited(child->text, PluginDescriptor::kLongTextCapacity);
    }
}

}  // namespace

void ResetPluginDescriptor(PluginDescriptor& descriptor) {
    descriptor = PluginDescriptor{};
    descriptor.name = u"untitled";
    descriptor.author = u"unknown";
    descriptor.version = u"not set";
    descriptor.date = u"not set";
    descriptor.description = u"not set";
    descriptor.instructions = u"not set";
}

bool ReadPluginDescriptor(const MarkupDocument& document, PluginDescriptor& descriptor) {
    const MarkupNode* plugin = FindRoot(document, u"plugin");
    if (plugin == nullptr) {
        return true;
    }
    constexpr std::size_t kText = PluginDescriptor::kTextCapacity;
    CopyAttribute(*plugin, u"name", descriptor.name, kText);
    CopyAttribute(*plugin, u"author", descriptor.author, kText);
    CopyAttribute(*plugin, u"version", descriptor.version, kText);
    CopyAttribute(*plugin, u"date", descriptor.date, kText);
    CopyAttribute(*plugin, u"mainlibrary", descriptor.mainLibrary,
                  PluginDescriptor::kLibraryCapacity);
    CopyChildText(*plugin, u"description", descriptor.description);
    CopyChildText(*plugin, u"instructions", descriptor.instructions);

    const MarkupNode* data = FindChild(*plugin, u"plugindata", 0);
    if (data == nullptr) {
        return true;
    }
    CopyAttribute(*data, u"name", descriptor.typeName, kText);
    if (const MarkupAttribute* type = FindAttribute(*data, u"type")) {
        descriptor.type = ReadUnsignedNumber(type->value, 16);
    }
    // Every "extension" child in file order (one pass, where asking for the i-th one in turn
    // would scan the children again for each).
    for (const MarkupNode& element : data->children) {
        if (CompareIgnoringAsciiCase(element.name, u"extension") != 0) {
            continue;
        }
        descriptor.extensions.emplace_back();
        descriptor.filters.emplace_back();
        CopyAttribute(element, u"extension", descriptor.extensions.back(),
                      PluginDescriptor::kExtensionCapacity);
        CopyAttribute(element, u"filter", descriptor.filters.back(), kText);
    }
    return true;
}

}  // namespace kestrova
