#pragma once
// The body of an AudioClip: four 32-bit words (format, sound type and two flags), then the
// embedded sound file as a 32-bit length and its bytes, zero padding to a multiple of 4, and any
// bytes after that, kept as they are. Also: which kind of sound file some bytes are, and the
// numbers a WAV file's header gives.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "plugins/support/body_bytes.h"

namespace kestrova::audio {

using plugin::Bytes;
using plugin::ByteSpan;

enum class AudioKind { Wav, OggVorbis, Mpeg };

struct AudioBody {
    std::uint32_t format = 0;
    std::uint32_t soundType = 0;
    std::array<std::uint32_t, 2> flags{};
    plugin::AlignedBlock stream;
    ByteSpan rest;  // every byte after the stream's padding
};

// Reads `body`; the views of `out` point into it. A body too short for its words or its stream's
// length is refused, with `error` saying why.
bool ParseAudioBody(ByteSpan body, AudioBody& out, std::string& error);

// The body with `stream` in place of the stored one and `soundType` set: the length and padding
// rebuilt, the format, the flags and the rest kept.
Bytes BuildAudioBody(const AudioBody& stored, std::uint32_t soundType, ByteSpan stream);

// The sound type word of each kind (20, 14, 13) and back; nullopt for a word of no known kind.
std::uint32_t SoundTypeOf(AudioKind kind);
std::optional<AudioKind> KindOfSoundType(std::uint32_t soundType);
// The data type of each kind: "wav", "ogg", "mp3"; and the kind of a host's extension text.
const char* ExtensionOf(AudioKind kind);
std::optional<AudioKind> KindOfExtension(const char16_t* extension);
// "WAV", "Ogg Vorbis", "MPEG".
const char* KindName(AudioKind kind);

// The kind of sound file `bytes` hold, by their signature: "RIFF" and "WAVE" at 0 and 8, "OggS",
// an MPEG frame sync (eleven set bits) or an "ID3" tag; nullopt for anything else.
std::optional<AudioKind> DetectKind(ByteSpan bytes);

struct WavInfo {
    std::uint16_t formatTag = 0;  // 1 for PCM
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint64_t dataBytes = 0;  // the sample bytes present, at most what the data chunk says
    double seconds = 0.0;
};

// The "fmt " and "data" chunks of a RIFF/WAVE file; nullopt when it lacks them or is cut short
// before the format.
std::optional<WavInfo> ReadWavInfo(ByteSpan file);

}  // namespace kestrova::audio
