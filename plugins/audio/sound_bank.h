#pragma once
// A sound bank of the form "FSB5", as a later engine's AudioClip keeps it in a resource file: a
// header (version, sample count, the sizes of the sample headers, the name table and the sample
// data, the codec), one header per sample (a packed 64-bit word of rate, channels, data offset
// and frame count, then optional chunks that override them or add a loop or codec data), a
// table of names, and the sample data. Every count, offset and size is checked against the bank
// before it is used.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugins/support/body_bytes.h"

namespace kestrova::audio {

using plugin::Bytes;
using plugin::ByteSpan;

// The codec numbers of the bank header's mode word.
enum class BankCodec : std::uint32_t {
    None = 0,
    Pcm8 = 1,
    Pcm16 = 2,
    Pcm24 = 3,
    Pcm32 = 4,
    PcmFloat = 5,
    GcAdpcm = 6,
    ImaAdpcm = 7,
    Vag = 8,
    HeVag = 9,
    Xma = 10,
    Mpeg = 11,
    Celt = 12,
    Atrac9 = 13,
    XWma = 14,
    Vorbis = 15,
    FAdpcm = 16,
    Opus = 17,
};

// "PCM 16-bit", "IMA ADPCM", "Vorbis", ...; "codec N" for a number of no known codec.
std::string BankCodecName(std::uint32_t codec);

// The chunk types of a sample header that the reader takes.
enum class BankChunk : std::uint32_t { Channels = 1, Frequency = 2, Loop = 3, VorbisData = 11 };

struct BankSample {
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::uint64_t frames = 0;  // samples per channel
    std::uint64_t offset = 0;  // of its data, from the start of the bank's sample data
    std::uint64_t size = 0;    // up to the next sample's data or the end of the sample data
    std::optional<std::pair<std::uint32_t, std::uint32_t>> loop;  // first and last frame
    std::string name;  // from the name table; empty without one
};

struct SoundBank {
    std::uint32_t version = 0;  // 0 or 1
    std::uint32_t codec = 0;
    std::uint64_t dataStart = 0;  // where the sample data begins in the bank
    std::vector<BankSample> samples;

    // The bytes of sample `index` inside `bank`, the bytes this was read from.
    ByteSpan SampleData(ByteSpan bank, std::size_t index) const;
};

// Reads the bank's headers and names. A bank whose header or sample headers claim more than it
// holds, whose chunks run past their header, or whose data offsets fall outside its data or out
// of order is refused, with `error` saying which part and why.
bool ParseSoundBank(ByteSpan bank, SoundBank& out, std::string& error);

}  // namespace kestrova::audio
