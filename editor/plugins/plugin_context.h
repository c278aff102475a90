#pragma once
// The plug-in context on the host's side: what the host knows of the asset it hands over beyond
// its data, kept in the C layout of kestrova_plugin.h for as long as a plug-in may read it (until
// the next hand-over), with the host's callbacks: streamed data from files beside the asset file
// (and, through a reader the bundle layer sets, from the same bundle), and the plug-ins' reports
// of why they refused.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/plugins/plugin_table.h"
#include "kestrova_plugin.h"
#include "sdk/context_type_tree.h"
#include "sdk/type_tree.h"

namespace kestrova {

struct AssetContext {
    std::uint32_t formatVersion = 0;
    std::string engineVersion;
    bool bigEndian = false;
    std::int32_t classId = 0;
    std::int64_t pathId = 0;
    // The name field the host leaves out of the data it hands over.
    std::vector<std::uint8_t> namePrefix;
    std::optional<TypeTree> typeTree;
    // The folder of the asset file, where the files that objects stream from lie; empty when
    // unknown (such files are then not found).
    std::u16string folder;
    // KESTROVA_IMPORT_... flags: what an import may change beyond the asset's data.
    std::uint32_t importFlags = 0;
};

// Reads `out.size()` bytes at `offset` of a file inside the open bundle, named by an
// "archive:/..." path; a KESTROVA_STREAM_... status.
using ArchiveReader = std::function<std::int32_t(std::string_view path, std::uint64_t offset,
                                                 std::span<std::uint8_t> out)>;

class PluginContextHolder {
public:
    PluginContextHolder();
    PluginContextHolder(const PluginContextHolder&) = delete;
    PluginContextHolder& operator=(const PluginContextHolder&) = delete;

    // Describes the asset of the next hand-over; what an earlier context pointed at is released.
    void Set(AssetContext asset);
    const KestrovaPluginContext* context() const { return &context_; }
    const AssetContext& asset() const { return asset_; }

    // Where "archive:/" paths are read; without a reader they are not found.
    void SetArchiveReader(ArchiveReader reader) { archive_ = std::move(reader); }

    // What a plug-in reported since the last call, then forgotten.
    std::string TakeReport();

    // The host's readStream: `path` as an object names it.
    std::int32_t ReadStream(std::string_view path, std::uint64_t offset,
                            std::span<std::uint8_t> out) const;

private:
    static std::int32_t ReadStreamCall(void* host, const char* path, std::uint64_t offset,
                                       std::uint64_t size, std::uint8_t* buffer);
    static void ReportCall(void* host, const char* message);

    AssetContext asset_;
    FlatTypeTree flatTree_;
    KestrovaTypeTree tree_{};
    KestrovaPluginContext context_{};
    ArchiveReader archive_;
    std::string report_;
};

// Hands `context` to a plug-in that exports SetPluginContext; nothing for one that does not.
void CallSetPluginContext(const PluginRecord& record, const KestrovaPluginContext* context);

}  // namespace kestrova
