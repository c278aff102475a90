#include "plugins/audio/streamed_clip.h"

#include <array>
#include <bit>
#include <optional>
#include <type_traits>

#include "plugins/support/tree_builder.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::audio {
namespace {

// The stripped files' tree, as the engine writes AudioClip from 5.0 on; m_Ambisonic came with
// 2017.1.
TypeTree StrippedClipTree(const plugin::EngineVersion& engine) {
    plugin::TreeBuilder b;
    const auto add = [&b](std::uint8_t level, const char* type, const char* name, std::int32_t size,
                          bool align = false) { b.Field(level, type, name, size, align); };
    const bool ambisonic = engine.AtLeast(2017, 1);
    add(0, "AudioClip", "Base", -1);
    add(1, "string", "m_Name", -1, true);
    add(1, "int", "m_LoadType", 4);
    add(1, "int", "m_Channels", 4);
    add(1, "int", "m_Frequency", 4);
    add(1, "int", "m_BitsPerSample", 4);
    add(1, "float", "m_Length", 4);
    add(1, "bool", "m_IsTrackerFormat", 1, !ambisonic);
    if (ambisonic) {
        add(1, "bool", "m_Ambisonic", 1, true);
    }
    add(1, "int", "m_SubsoundIndex", 4);
    add(1, "bool", "m_PreloadAudioData", 1);
    add(1, "bool", "m_LoadInBackground", 1);
    add(1, "bool", "m_Legacy3D", 1, true);
    add(1, "StreamedResource", "m_Resource", -1);
    add(2, "string", "m_Source", -1, true);
    add(2, "UInt64", "m_Offset", 8);
    add(2, "UInt64", "m_Size", 8);
    add(1, "int", "m_CompressionFormat", 4);
    return b.Take();
}

std::optional<FieldAt> MemberNamed(const FieldReader& reader, FieldAt structure,
                                   std::string_view name) {
    if (reader.Node(structure).kind != FieldKind::Struct) {
        return std::nullopt;
    }
    for (const FieldAt member : reader.Members(structure)) {
        if (reader.Node(member).name == name) {
            return member;
        }
    }
    return std::nullopt;
}

}  // namespace

bool IsStreamedClipEngine(const plugin::HeldContext& context) {
    const std::optional<plugin::EngineVersion> engine = context.Engine();
    return engine && engine->AtLeast(5);
}

bool ReadStreamedClip(plugin::ByteSpan object, const plugin::HeldContext& context,
                      StreamedClip& out, std::string& error) {
    const std::optional<plugin::EngineVersion> engine = context.Engine();
    if (!context.tree && !engine) {
        error = "The engine version of the file is unknown, so the clip's fields cannot be read.";
        return false;
    }
    const TypeTree tree = context.tree ? *context.tree : StrippedClipTree(*engine);
    const std::string source =
        context.tree ? "its type tree" : "the fields of engine " + context.engineVersion;
    std::optional<FieldLayout> layout = FieldLayout::Compile(tree, error);
    if (!layout) {
        return false;
    }
    const FieldReader reader(*layout, object, context.order);
    if (std::optional<FieldError> wrong = reader.Check()) {
        error = "The AudioClip does not read through " + source + ": " + wrong->Text();
        return false;
    }
    const FieldAt root = reader.Root();
    std::string missing;
    const auto number = [&](std::string_view name, auto& value, FieldAt in) {
        const std::optional<FieldAt> field = MemberNamed(reader, in, name);
        if (!field || !IsScalar(reader.Node(*field).kind)) {
            missing += missing.empty() ? std::string(name) : ", " + std::string(name);
            return;
        }
        const std::uint64_t bits = reader.ScalarBits(*field);
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, float>) {
            value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        } else {
            value = static_cast<std::remove_reference_t<decltype(value)>>(bits);
        }
    };
    StreamedClip clip;
    number("m_LoadType", clip.loadType, root);
    number("m_Channels", clip.channels, root);
    number("m_Frequency", clip.frequency, root);
    number("m_BitsPerSample", clip.bitsPerSample, root);
    number("m_Length", clip.length, root);
    number("m_CompressionFormat", clip.compressionFormat, root);
    if (MemberNamed(reader, root, "m_SubsoundIndex")) {
        number("m_SubsoundIndex", clip.subsoundIndex, root);
    }
    const std::optional<FieldAt> resource = MemberNamed(reader, root, "m_Resource");
    const std::optional<FieldAt> path =
        resource ? MemberNamed(reader, *resource, "m_Source") : std::nullopt;
    if (!path || reader.Node(*path).kind != FieldKind::String) {
        missing += missing.empty() ? "m_Resource.m_Source" : ", m_Resource.m_Source";
    } else {
        const std::span<const std::uint8_t> text = reader.Payload(*path);
        clip.source.assign(text.begin(), text.end());
        number("m_Offset", clip.offset, *resource);
        number("m_Size", clip.size, *resource);
    }
    if (!missing.empty()) {
        error = "The AudioClip's fields lack " + missing + ".";
        return false;
    }
    out = std::move(clip);
    return true;
}

std::string CompressionFormatName(std::int32_t format) {
    constexpr std::array<const char*, 10> kNames = {
        "PCM", "Vorbis", "ADPCM", "MP3", "VAG", "HEVAG", "XMA", "AAC", "GCADPCM", "ATRAC9"};
    return format >= 0 && static_cast<std::size_t>(format) < kNames.size()
               ? kNames[static_cast<std::size_t>(format)]
               : "format " + std::to_string(format);
}

}  // namespace kestrova::audio
