#pragma once
// FSB5 sound banks built for the tests: rates and channel counts of no code and loops as chunks,
// each sample's data at a multiple of 32, a name table when a sample has a name.

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

// A sine of another pitch per channel: interleaved signed integers of `bytesPerSample` or floats.
Bytes SineFrames(std::uint32_t channels, std::uint64_t frames, unsigned bytesPerSample,
                 bool asFloat = false);

}  // namespace kestrova::testing
