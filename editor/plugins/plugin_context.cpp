#include "editor/plugins/plugin_context.h"

#include <cstdio>
#include <utility>

#include "common/platform.h"
#include "common/text.h"

namespace kestrova {

namespace {

constexpr std::string_view kArchivePrefix = "archive:";

}  // namespace

PluginContextHolder::PluginContextHolder() {
    Set({});
}

void PluginContextHolder::Set(AssetContext asset) {
    asset_ = std::move(asset);
    flatTree_ = asset_.typeTree ? FlattenTypeTree(*asset_.typeTree) : FlatTypeTree{};
    tree_ = flatTree_.view();
    report_.clear();
    context_ = {};
    context_.size = sizeof(KestrovaPluginContext);
    context_.version = KESTROVA_PLUGIN_CONTEXT_VERSION;
    context_.formatVersion = asset_.formatVersion;
    context_.byteOrder = asset_.bigEndian ? 1 : 0;
    context_.engineVersion = asset_.engineVersion.c_str();
    context_.classId = asset_.classId;
    context_.namePrefixLength = static_cast<std::uint32_t>(asset_.namePrefix.size());
    context_.pathId = asset_.pathId;
    context_.namePrefix = asset_.namePrefix.empty() ? nullptr : asset_.namePrefix.data();
    context_.typeTree = asset_.typeTree ? &tree_ : nullptr;
    context_.host = this;
    context_.readStream = &ReadStreamCall;
    context_.report = &ReportCall;
    context_.importFlags = asset_.importFlags;
}

std::string PluginContextHolder::TakeReport() {
    return std::exchange(report_, {});
}

std::int32_t PluginContextHolder::ReadStream(std::string_view path, std::uint64_t offset,
                                             std::span<std::uint8_t> out) const {
    if (path.starts_with(kArchivePrefix)) {
        return archive_ ? archive_(path, offset, out) : KESTROVA_STREAM_NOT_FOUND;
    }
    // Only the file name counts: streamed files lie beside the asset file, and a path from a
    // file must not reach anywhere else.
    const std::u16string name = Utf8ToUtf16(path).substr(FileNameStart(Utf8ToUtf16(path)));
    if (asset_.folder.empty() || !IsPlainFileName(name)) {
        return KESTROVA_STREAM_NOT_FOUND;
    }
    const std::u16string file = asset_.folder + platform::kSeparator + name;
    const std::optional<unsigned long long> size = platform::FileSize(file);
    if (!size) {
        return KESTROVA_STREAM_NOT_FOUND;
    }
    if (offset > *size || out.size() > *size - offset) {
        return KESTROVA_STREAM_OUT_OF_RANGE;
    }
    std::FILE* stream = platform::OpenFile(file, "rb");
    if (stream == nullptr) {
        return KESTROVA_STREAM_FAILED;
    }
    const bool read = ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 &&
                      std::fread(out.data(), 1, out.size(), stream) == out.size();
    std::fclose(stream);
    return read ? KESTROVA_STREAM_READ : KESTROVA_STREAM_FAILED;
}

std::int32_t PluginContextHolder::ReadStreamCall(void* host, const char* path, std::uint64_t offset,
                                                 std::uint64_t size, std::uint8_t* buffer) {
    if (host == nullptr || path == nullptr || (buffer == nullptr && size > 0)) {
        return KESTROVA_STREAM_FAILED;
    }
    try {
        return static_cast<const PluginContextHolder*>(host)->ReadStream(
            path, offset, {buffer, static_cast<std::size_t>(size)});
    } catch (...) {
        return KESTROVA_STREAM_FAILED;
    }
}

void PluginContextHolder::ReportCall(void* host, const char* message) {
    if (host == nullptr || message == nullptr) {
        return;
    }
    try {
        static_cast<PluginContextHolder*>(host)->report_ = message;
    } catch (...) {
        // A report that cannot be kept leaves the host's own message.
    }
}

void CallSetPluginContext(const PluginRecord& record, const KestrovaPluginContext* context) {
    if (record.setPluginContext == nullptr) {
        return;
    }
    try {
        record.setPluginContext(context);
    } catch (...) {
        // Nothing may come back from a plug-in; the hand-over goes on without a context.
    }
}

}  // namespace kestrova
