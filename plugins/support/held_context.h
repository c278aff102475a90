#pragma once
// A copy of the plug-in context (kestrova_plugin.h) that a session keeps from SetPluginContext to
// the hand-over it describes: the file's format and engine version, the byte order, the name
// prefix, the type tree, and the host's callbacks for streamed data and reports.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kestrova_plugin.h"
#include "plugins/support/body_bytes.h"
#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::plugin {

// The first two numbers of an engine version text ("2021.3.18f1" is 2021, 3; "5.6.0f3" is 5, 6).
struct EngineVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;

    // Nothing for a text that does not start with two numbers.
    static std::optional<EngineVersion> Parse(std::string_view text);
    bool AtLeast(std::uint32_t wantedMajor, std::uint32_t wantedMinor = 0) const {
        return major > wantedMajor || (major == wantedMajor && minor >= wantedMinor);
    }
    friend auto operator<=>(const EngineVersion&, const EngineVersion&) = default;
};

struct HeldContext {
    bool given = false;  // false when the host gave no context (an older host)
    std::uint32_t formatVersion = 0;
    std::string engineVersion;
    ByteOrder order = ByteOrder::Little;
    std::int32_t classId = 0;
    Bytes namePrefix;
    bool prefixMissing = false;  // a prefix length without its bytes
    std::optional<TypeTree> tree;
    std::string treeError;  // why the context's tree could not be taken
    void* host = nullptr;
    KestrovaReadStreamProc readStream = nullptr;
    KestrovaReportProc report = nullptr;

    // A copy of everything `context` points at; an empty context for null.
    static HeldContext From(const KestrovaPluginContext* context);

    // The engine version, or by the file's format where the text is missing: formats from 14 are
    // of engine 5 and later.
    std::optional<EngineVersion> Engine() const;
    // Tells the host why an entry point refuses; nothing without a host.
    void Report(const std::string& message) const;
};

// Reads `size` bytes at `offset` of the file `path` names through the host into `out`. False,
// with `error` naming the path and what went wrong, when the host has no reader, the file is
// missing, the range lies outside it, the range is longer than `limit`, or the read fails. The
// range is checked with the host before its size allocates anything.
bool ReadStreamed(const HeldContext& context, const std::string& path, std::uint64_t offset,
                  std::uint64_t size, std::uint64_t limit, Bytes& out, std::string& error);

}  // namespace kestrova::plugin
