#pragma once
// The AudioClip of engine 5 and later: its settings (load type, channels, rate, bits, length in
// seconds, the sub-sound of its bank, the compression) and m_Resource, where its sound bank lies
// (a resource file beside the asset file or in its bundle, an offset and a size). Read through
// the object's type tree where the file keeps one, else through the tree of the engine version.

#include <cstdint>
#include <string>

#include "plugins/support/held_context.h"

namespace kestrova::audio {

struct StreamedClip {
    std::int32_t loadType = 0;
    std::int32_t channels = 0;
    std::int32_t frequency = 0;
    std::int32_t bitsPerSample = 0;
    float length = 0.0f;  // seconds
    std::int32_t subsoundIndex = 0;
    std::int32_t compressionFormat = 0;
    std::string source;  // m_Resource.m_Source
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Whether the context describes an AudioClip of the later form (engine 5 and later).
bool IsStreamedClipEngine(const plugin::HeldContext& context);

// The fields of `object` (the name prefix and the body, as the file stores them). False, with
// `error` saying where and why, when the object does not read exactly through its tree or lacks
// one of the fields.
bool ReadStreamedClip(plugin::ByteSpan object, const plugin::HeldContext& context,
                      StreamedClip& out, std::string& error);

// "PCM", "Vorbis", "ADPCM", "MP3", ... for m_CompressionFormat; "format N" for others.
std::string CompressionFormatName(std::int32_t format);

}  // namespace kestrova::audio
