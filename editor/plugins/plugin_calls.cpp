#include "editor/plugins/plugin_calls.h"

namespace kestrova {

namespace {

// Takes over what a plug-in returned with the length it set. For GetData a null block with
// length 0 is data (an empty body) and one with a length is a fault; for the conversions a null
// block refuses, whatever the length says.
enum class NullBlock { EmptyData, Refusal };

PluginBlock TakeBlock(std::uint8_t* block, std::int32_t length, NullBlock null) {
    PluginBlock result;
    result.block.reset(block);
    result.length = length;
    if (block == nullptr && null == NullBlock::Refusal) {
        result.state = PluginBlock::State::Refused;
    } else if (length < 0 || (block == nullptr && length > 0)) {
        result.state = PluginBlock::State::Invalid;
    } else if (block == nullptr) {
        result.state = PluginBlock::State::Refused;
    } else {
        result.state = PluginBlock::State::Taken;
    }
    return result;
}

PluginBlock Failed() {
    PluginBlock result;
    result.state = PluginBlock::State::Invalid;
    return result;
}

// The extension as a zero-terminated text for the duration of one call.
std::u16string Terminated(std::u16string_view text) {
    return std::u16string(text);
}

}  // namespace

void* CallCreatePluginDialog(const PluginRecord& record, void* parent,
                             std::span<const std::uint8_t> data) {
    if (record.createPluginDialog == nullptr || !FitsPluginLength(data.size())) {
        return nullptr;
    }
    try {
        return record.createPluginDialog(parent, data.data(),
                                         static_cast<std::int32_t>(data.size()));
    } catch (...) {
        return nullptr;
    }
}

bool CallAssetChanged(const PluginRecord& record) {
    if (record.assetChanged == nullptr) {
        return false;
    }
    try {
        return record.assetChanged() == 1;
    } catch (...) {
        return false;
    }
}

PluginBlock CallGetData(const PluginRecord& record) {
    if (record.getData == nullptr) {
        return {};
    }
    try {
        std::int32_t length = 0;
        std::uint8_t* block = record.getData(&length);
        return TakeBlock(block, length, NullBlock::EmptyData);
    } catch (...) {
        return Failed();
    }
}

PluginBlock CallExportData(const PluginRecord& record, std::u16string_view extension) {
    if (record.exportData == nullptr) {
        return {};
    }
    const std::u16string text = Terminated(extension);
    try {
        std::int32_t length = 0;
        std::uint8_t* block = record.exportData(&length, text.c_str());
        return TakeBlock(block, length, NullBlock::Refusal);
    } catch (...) {
        return Failed();
    }
}

PluginBlock CallImportData(const PluginRecord& record, const void* input, std::int32_t lengthIn,
                           std::u16string_view extension) {
    if (record.importData == nullptr) {
        return {};
    }
    const std::u16string text = Terminated(extension);
    try {
        std::int32_t length = lengthIn;
        std::uint8_t* block = record.importData(input, &length, text.c_str());
        return TakeBlock(block, length, NullBlock::Refusal);
    } catch (...) {
        return Failed();
    }
}

}  // namespace kestrova
