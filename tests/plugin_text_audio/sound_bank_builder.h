#pragma once
// FSB5 sound banks built for the tests: samples of any codec's bytes with their rate, channels,
// frame count, name and loop, written as the engine's sound tools lay a bank out (rates and
// channel counts of no code as chunks, each sample's data at a multiple of 32).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugins/support/body_bytes.h"

namespace kestrova::testing {

using plugin::Bytes;

struct SampleSpec {
    std::uint32_t rate = 44100;
    std::uint32_t channels = 1;
    std::uint64_t frames = 0;
    Bytes data;
    std::string name;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> loop;
};

struct BuiltBank {
    Bytes bytes;
    std::size_t sampleHeaders = 0;  // where the sample headers begin
    std::size_t dataStart = 0;      // where the sample data begins
};

BuiltBank BuildSoundBank(std::uint32_t codec, const std::vector<SampleSpec>& samples,
                         std::uint32_t version = 1);

// `frames` frames of a sine of a different pitch in each channel, interleaved, as signed
// integers of `bytesPerSample` bytes (1 to 4) or, with `asFloat`, 32-bit floats; little-endian.
Bytes SineFrames(std::uint32_t channels, std::uint64_t frames, unsigned bytesPerSample,
                 bool asFloat = false);

}  // namespace kestrova::testing
