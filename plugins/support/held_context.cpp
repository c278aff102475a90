#include "plugins/support/held_context.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "sdk/context_type_tree.h"

namespace kestrova::plugin {

std::optional<EngineVersion> EngineVersion::Parse(std::string_view text) {
    EngineVersion version;
    const char* end = text.data() + text.size();
    auto [afterMajor, majorError] = std::from_chars(text.data(), end, version.major);
    if (majorError != std::errc() || afterMajor == end || *afterMajor != '.') {
        return std::nullopt;
    }
    auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, version.minor);
    if (minorError != std::errc()) {
        return std::nullopt;
    }
    return version;
}

HeldContext HeldContext::From(const KestrovaPluginContext* context) {
    HeldContext held;
    if (context == nullptr || !KESTROVA_CONTEXT_HAS(context, report)) {
        return held;
    }
    held.given = true;
    held.formatVersion = context->formatVersion;
    held.engineVersion = context->engineVersion != nullptr ? context->engineVersion : "";
    held.order = context->byteOrder == 1 ? ByteOrder::Big : ByteOrder::Little;
    held.classId = context->classId;
    if (context->namePrefixLength > 0) {
        if (context->namePrefix == nullptr) {
            held.prefixMissing = true;
        } else {
            held.namePrefix.assign(context->namePrefix,
                                   context->namePrefix + context->namePrefixLength);
        }
    }
    if (context->typeTree != nullptr) {
        held.tree = TypeTreeFromContext(*context->typeTree, held.treeError);
    }
    held.host = context->host;
    held.readStream = context->readStream;
    held.report = context->report;
    return held;
}

std::optional<EngineVersion> HeldContext::Engine() const {
    if (std::optional<EngineVersion> version = EngineVersion::Parse(engineVersion)) {
        return version;
    }
    if (formatVersion >= 14) {
        return EngineVersion{5, 0};
    }
    if (formatVersion > 0) {
        return EngineVersion{4, 0};
    }
    return std::nullopt;
}

void HeldContext::Report(const std::string& message) const {
    if (report != nullptr) {
        report(host, message.c_str());
    }
}

namespace {

std::string StreamError(std::int32_t status, const std::string& path, const std::string& range) {
    switch (status) {
        case KESTROVA_STREAM_NOT_FOUND:
            return "The file \"" + path +
                   "\" that holds the data is missing: it is neither beside the asset file nor in "
                   "its bundle.";
        case KESTROVA_STREAM_OUT_OF_RANGE:
            return "The data lies outside \"" + path + "\": " + range +
                   " do not fit inside that file.";
        default:
            return "The file \"" + path + "\" could not be read (" + range + ").";
    }
}

}  // namespace

bool ReadStreamed(const HeldContext& context, const std::string& path, std::uint64_t offset,
                  std::uint64_t size, std::uint64_t limit, Bytes& out, std::string& error) {
    const std::string range = std::to_string(size) + " bytes at offset " + std::to_string(offset);
    if (context.readStream == nullptr) {
        error = "The host gives no access to streamed data, so \"" + path + "\" cannot be read.";
        return false;
    }
    // The range is checked with a read of no bytes at its end before its size allocates anything.
    const std::int32_t probe =
        offset > std::numeric_limits<std::uint64_t>::max() - size
            ? KESTROVA_STREAM_OUT_OF_RANGE
            : context.readStream(context.host, path.c_str(), offset + size, 0, nullptr);
    if (probe != KESTROVA_STREAM_READ) {
        error = StreamError(probe, path, range);
        return false;
    }
    if (size > limit) {
        error = "The data in \"" + path + "\" is " + std::to_string(size) +
                " bytes long, more than the " + std::to_string(limit) + " this plug-in reads.";
        return false;
    }
    Bytes bytes(static_cast<std::size_t>(size));
    const std::int32_t status =
        context.readStream(context.host, path.c_str(), offset, size, bytes.data());
    if (status != KESTROVA_STREAM_READ) {
        error = StreamError(status, path, range);
        return false;
    }
    out = std::move(bytes);
    return true;
}

}  // namespace kestrova::plugin
