#include "editor/plugins/plugin_table.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <system_error>

#include "common/directory_scan.h"
#include "common/markup_reader.h"
#include "common/string_list.h"
#include "common/text.h"

namespace kestrova {

namespace {

constexpr std::u16string_view kDescriptorExtension = u"plg";

// The descriptor's folder with its trailing separator, then the library's name; the whole path
// cut as a fixed path field would cut it.
std::u16string LibraryPath(std::u16string_view descriptorPath, std::u16string_view mainLibrary) {
    std::u16string path(descriptorPath.substr(0, FileNameStart(descriptorPath)));
    path += mainLibrary;
    return CopyLimited(path, PluginDescriptor::kLibraryCapacity);
}

void* ResolveEntryPoint(platform::LibraryHandle library, std::size_t i) {
    return platform::FindSymbol(library, kEntryPointNames[i].exported);
}

// Whether `path` (found under `folder`) lies in a sub-folder of `folder` that is a link to another
// folder, as an installed editor's shared plug-ins are reached from the user's own folder.
bool ThroughLink(const std::u16string& folder, const std::u16string& path) {
    if (path.size() <= folder.size() + 1) {
        return false;
    }
    const std::u16string_view rest = std::u16string_view(path).substr(folder.size() + 1);
    const std::size_t end = rest.find_first_of(u"/\\");
    if (end == std::u16string_view::npos) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_symlink(
        platform::NativePath(folder + platform::kSeparator + std::u16string(rest.substr(0, end))),
        error);
}

template <typename Proc>
void Store(Proc& slot, void* address) {
    slot = reinterpret_cast<Proc>(address);
}

}  // namespace

bool HasEntryPoint(const PluginRecord& record, std::size_t i) {
    switch (i) {
        case 0:
            return record.createPluginDialog != nullptr;
        case 1:
            return record.assetChanged != nullptr;
        case 2:
            return record.getData != nullptr;
        case 3:
            return record.exportData != nullptr;
        case 4:
            return record.importData != nullptr;
        default:
            return false;
    }
}

PluginTable::~PluginTable() {
    UnloadPlugins(*this);
}

bool LoadPlugins(PluginTable& table, const std::u16string& folder, MessageSink& messages) {
    StringList found;
    Reset(found);
    ScanDirectory(found, folder, std::u16string(kDescriptorExtension));
    // Scan order, except that plug-ins reached through a linked folder come after the folder's
    // own: a user's plug-in is found before an installed one of the same type.
    std::vector<std::uint32_t> order(found.count());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_partition(order.begin(), order.end(),
                          [&](std::uint32_t i) { return !ThroughLink(folder, found.at(i)); });
    table.plugins.assign(found.count(), PluginRecord{});
    for (std::uint32_t i = 0; i < found.count(); ++i) {
        ResetPluginDescriptor(table.plugins[i].descriptor);
        LoadPlugin(table.plugins[i], found.at(order[i]), messages);
    }
    Clear(found);
    return true;
}

bool LoadPlugin(PluginRecord& record, const std::u16string& descriptorPath, MessageSink& messages) {
    record.descriptorPath = descriptorPath;
    MarkupDocument document;
    // Read in binary mode: the reader itself turns CR LF into LF as a text stream would.
    if (std::FILE* file = platform::OpenFile(descriptorPath, "rb")) {
        ParseDocument(file, document, kKestrovaMarkupLimits);
        std::fclose(file);
    }
    ReadPluginDescriptor(document, record.descriptor);
    FreeDocument(document);

    record.libraryPath = LibraryPath(descriptorPath, record.descriptor.mainLibrary);
    record.library = platform::LoadLibrary(record.libraryPath);
    if (record.library == nullptr) {
        return true;
    }
    Store(record.createPluginDialog, ResolveEntryPoint(record.library, 0));
    Store(record.assetChanged, ResolveEntryPoint(record.library, 1));
    Store(record.getData, ResolveEntryPoint(record.library, 2));
    Store(record.exportData, ResolveEntryPoint(record.library, 3));
    Store(record.importData, ResolveEntryPoint(record.library, 4));
    Store(record.setPluginContext,
          platform::FindSymbol(record.library, KESTROVA_SET_PLUGIN_CONTEXT_NAME));
    for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
        if (!HasEntryPoint(record, i)) {
            messages.Warning(kPluginWarningCaption,
                             u"Plugin " + std::u16string(kEntryPointNames[i].proc) + u" Missing.");
        }
    }
    return true;
}

bool UnloadPlugin(PluginRecord& record) {
    record.descriptor.extensions.clear();
    record.descriptor.filters.clear();
    record.createPluginDialog = nullptr;
    record.assetChanged = nullptr;
    record.getData = nullptr;
    record.exportData = nullptr;
    record.importData = nullptr;
    record.setPluginContext = nullptr;
    if (record.library != nullptr) {
        platform::FreeLibrary(record.library);
        record.library = nullptr;
    }
    return true;
}

bool UnloadPlugins(PluginTable& table) {
    for (PluginRecord& record : table.plugins) {
        UnloadPlugin(record);
    }
    table.plugins.clear();
    return true;
}

const PluginRecord* FindPluginByType(const PluginTable& table, std::uint32_t type) {
    for (const PluginRecord& record : table.plugins) {
        if (record.descriptor.type == type) {
            return &record;
        }
    }
    return nullptr;
}

const PluginRecord* FindPluginByName(const PluginTable& table, std::u16string_view name) {
    for (const PluginRecord& record : table.plugins) {
        if (record.descriptor.typeName == name) {
            return &record;
        }
    }
    return nullptr;
}

std::optional<std::uint32_t> FindTypeByName(const PluginTable& table,
                                            std::u16string_view typeName) {
    for (const PluginRecord& record : table.plugins) {
        if (CompareIgnoringAsciiCase(record.descriptor.typeName, typeName) == 0) {
            return record.descriptor.type;
        }
    }
    return std::nullopt;
}

std::u16string TypeColumnText(const PluginTable& table, std::uint32_t typeId,
                              std::u16string_view unnamed) {
    const PluginRecord* record = FindPluginByType(table, typeId);
    if (record != nullptr && !record->descriptor.typeName.empty()) {
        return record->descriptor.typeName;
    }
    return std::u16string(unnamed);
}

}  // namespace kestrova
