#pragma once
// Calls into a plug-in's entry points, guarded: a missing entry point is never called, no
// exception from a plug-in reaches the host, and a block a plug-in returns is taken over by an
// owner that releases it with ::operator delete, as the plug-in contract says.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "editor/plugins/plugin_table.h"

namespace kestrova {

struct PluginBlockDeleter {
    void operator()(std::uint8_t* block) const { ::operator delete(block); }
};
using PluginBlockPointer = std::unique_ptr<std::uint8_t, PluginBlockDeleter>;

// What a plug-in returned from GetData, ExportData or ImportData.
struct PluginBlock {
    enum class State {
        Missing,  // the plug-in has no such entry point
        Refused,  // it returned null (from GetData: with length 0)
        Invalid,  // GetData's null with a length above 0, a negative length, or an exception
        Taken,    // `block` holds `length` bytes (null when the length is 0)
    };
    State state = State::Missing;
    PluginBlockPointer block;
    std::int32_t length = 0;

    bool taken() const { return state == State::Taken; }
    std::span<const std::uint8_t> bytes() const {
        return {block.get(), block ? static_cast<std::size_t>(length) : 0u};
    }
};

// CreatePluginDialog; null without the entry point or when the plug-in failed.
void* CallCreatePluginDialog(const PluginRecord& record, void* parent,
                             std::span<const std::uint8_t> data);
// AssetChanged: true only for exactly 1; a missing entry point counts as no change.
bool CallAssetChanged(const PluginRecord& record);
PluginBlock CallGetData(const PluginRecord& record);
PluginBlock CallExportData(const PluginRecord& record, std::u16string_view extension);
// ImportData over `input` (whose length the call passes in, or for the "Mod" panel mode calls,
// `lengthIn` holds what the contract puts there).
PluginBlock CallImportData(const PluginRecord& record, const void* input, std::int32_t lengthIn,
                           std::u16string_view extension);

// Bytes that fit the contract's signed 32-bit length.
inline bool FitsPluginLength(std::size_t length) {
    return length <= static_cast<std::size_t>(INT32_MAX);
}

}  // namespace kestrova
