#pragma once
// The plug-in table: one record per descriptor file found under the plug-ins folder, in the order
// the folder scan found them, each with its loaded library and its resolved entry points. Built
// once at start-up and released at shutdown; nothing is loaded or unloaded in between.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform.h"
#include "editor/plugins/plugin_descriptor.h"
#include "kestrova_plugin.h"

namespace kestrova {

// Where the host reports what it has to tell the user (a message box in the editor, standard
// error in the command-line tool, a list in tests).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Warning(std::u16string_view caption, std::u16string_view text) = 0;
};

// The caption of the warnings about missing entry points.
inline constexpr char16_t kPluginWarningCaption[] = u"Corvane Engine Error";

struct PluginRecord {
    platform::LibraryHandle library = nullptr;  // null when the library did not load
    PluginDescriptor descriptor;
    CreatePluginDialogProc createPluginDialog = nullptr;
    AssetChangedProc assetChanged = nullptr;
    GetDataProc getData = nullptr;
    ExportDataProc exportData = nullptr;
    ImportDataProc importData = nullptr;
    // The optional sixth entry point; without it the plug-in is never given a context.
    SetPluginContextProc setPluginContext = nullptr;

    // Where it came from: the descriptor file and the library path built from it.
    std::u16string descriptorPath;
    std::u16string libraryPath;

    bool loaded() const { return library != nullptr; }
};

// The five entry points in the order they are resolved: exported name and the name the warnings
// give it.
struct EntryPointName {
    const char* exported;
    const char16_t* proc;
};
inline constexpr std::array<EntryPointName, 5> kEntryPointNames{{
    {KESTROVA_CREATE_PLUGIN_DIALOG_NAME, u"CreatePluginDialogProc"},
    {KESTROVA_ASSET_CHANGED_NAME, u"AssetChangedProc"},
    {KESTROVA_GET_DATA_NAME, u"GetDataProc"},
    {KESTROVA_EXPORT_DATA_NAME, u"ExportDataProc"},
    {KESTROVA_IMPORT_DATA_NAME, u"ImportDataProc"},
}};

// Whether entry point i (in the order of kEntryPointNames) was resolved.
bool HasEntryPoint(const PluginRecord& record, std::size_t i);

class PluginTable {
public:
    PluginTable() = default;
    ~PluginTable();
    PluginTable(const PluginTable&) = delete;
    PluginTable& operator=(const PluginTable&) = delete;

    std::vector<PluginRecord> plugins;

    std::uint32_t pluginCount() const { return static_cast<std::uint32_t>(plugins.size()); }
};

// Builds the table from every ".plg" file under `folder` (and its sub-folders), in scan order
// except that those in a sub-folder that is a link (an installed editor's shared plug-ins) come
// after the others: reads each descriptor, loads the library it names and resolves the entry
// points, warning through `messages` once per missing entry point ("Plugin GetDataProc Missing."
// ...). Records whose descriptor or library could not be read stay in the table. Always true.
bool LoadPlugins(PluginTable& table, const std::u16string& folder, MessageSink& messages);

// Reads one descriptor into a prepared record (default descriptor, nothing loaded) and loads its
// library from the descriptor's folder. Always true.
bool LoadPlugin(PluginRecord& record, const std::u16string& descriptorPath, MessageSink& messages);

// Releases the data types, forgets the entry points and unloads the library. No entry point is
// called. Always true.
bool UnloadPlugin(PluginRecord& record);
bool UnloadPlugins(PluginTable& table);

// The first record in table order whose descriptor type is `type`, or null.
const PluginRecord* FindPluginByType(const PluginTable& table, std::uint32_t type);
// The first record whose type name is exactly `name` (case-sensitive), or null.
const PluginRecord* FindPluginByName(const PluginTable& table, std::u16string_view name);
// The type that the first record whose type name is `typeName` (ignoring the case of A-Z)
// declares, as the Add dialog and kestrova-cli's --type read a type name.
std::optional<std::uint32_t> FindTypeByName(const PluginTable& table, std::u16string_view typeName);

// The text of the Type column of an asset list, the editor's and kestrova-cli's alike: the type
// name of the first plug-in that handles `typeId`, or `unnamed` when none names it (the
// document's ClassColumnText: the class name, or the type as "0x%08X" in the 44-byte form).
std::u16string TypeColumnText(const PluginTable& table, std::uint32_t typeId,
                              std::u16string_view unnamed);

}  // namespace kestrova
