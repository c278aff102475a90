#pragma once
// A sample of a sound bank as a WAV file: PCM of 8, 16, 24 or 32 bits and float samples as they
// are (8-bit samples turned from signed to WAV's unsigned form), IMA ADPCM decoded to 16-bit PCM.
// Other codecs are not turned into WAV.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "plugins/audio/sound_bank.h"

namespace kestrova::audio {

// Why the bank's codec does not become WAV (for Vorbis: that it is kept as the bank), or nullopt
// when it does.
std::optional<std::string> WavRefusal(std::uint32_t codec);

// The WAV file of sample `index` of `bank` (the bytes `parsed` was read from). False, with
// `error` saying why, for a codec of no WAV form or a sample whose data is shorter than its frame
// count needs.
bool SampleToWav(const SoundBank& parsed, ByteSpan bank, std::size_t index, Bytes& wav,
                 std::string& error);

// The frames of a block of IMA ADPCM as the bank stores it: per channel a 4-byte header (the
// 16-bit predictor, the step index, a zero byte) and 32 bytes of 4-bit codes, the channels'
// codes interleaved in runs of 4 bytes, the low nibble first; 64 frames per block.
inline constexpr std::size_t kImaBlockBytesPerChannel = 36;
inline constexpr std::size_t kImaFramesPerBlock = 64;
// The IMA ADPCM step sizes, by step index 0-88.
extern const std::array<std::int32_t, 89> kImaSteps;

}  // namespace kestrova::audio
