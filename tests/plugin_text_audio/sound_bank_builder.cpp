#include "tests/plugin_text_audio/sound_bank_builder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace kestrova::testing {
namespace {

constexpr std::array<std::uint32_t, 11> kRateCodes = {4000,  8000,  11000, 11025, 16000, 22050,
                                                      24000, 32000, 44100, 48000, 96000};
constexpr std::array<std::uint32_t, 4> kChannelCodes = {1, 2, 6, 8};

template <class Table>
std::optional<std::uint64_t> CodeOf(const Table& table, std::uint32_t value) {
    const auto found = std::find(table.begin(), table.end(), value);
    return found == table.end() ? std::nullopt
                                : std::optional<std::uint64_t>(found - table.begin());
}

void Put32(Bytes& out, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    }
}

}  // namespace

BuiltBank BuildSoundBank(std::uint32_t codec, const std::vector<SampleSpec>& samples,
                         std::uint32_t version) {
    Bytes headers;
    Bytes data;
    for (const SampleSpec& sample : samples) {
        const std::optional<std::uint64_t> rate = CodeOf(kRateCodes, sample.rate);
        const std::optional<std::uint64_t> channels = CodeOf(kChannelCodes, sample.channels);
        std::vector<std::pair<std::uint32_t, Bytes>> chunks;
        if (!rate) {
            Bytes value;
            Put32(value, sample.rate);
            chunks.emplace_back(2, value);
        }
        if (!channels) {
            chunks.emplace_back(1, Bytes{static_cast<std::uint8_t>(sample.channels)});
        }
        if (sample.loop) {
            Bytes value;
            Put32(value, sample.loop->first);
            Put32(value, sample.loop->second);
            chunks.emplace_back(3, value);
        }
        const std::uint64_t word = (chunks.empty() ? 0 : 1) | (rate.value_or(8) << 1) |
                                   (channels.value_or(0) << 5) | ((data.size() / 32) << 7) |
                                   (sample.frames << 34);
        for (int k = 0; k < 8; ++k) {
            headers.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
        }
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            const auto& [type, value] = chunks[c];
            Put32(headers, (c + 1 < chunks.size() ? 1u : 0u) |
                               (static_cast<std::uint32_t>(value.size()) << 1) | (type << 25));
            headers.insert(headers.end(), value.begin(), value.end());
        }
        data.insert(data.end(), sample.data.begin(), sample.data.end());
        data.resize((data.size() + 31) / 32 * 32, 0);
    }
    Bytes names;
    if (std::any_of(samples.begin(), samples.end(),
                    [](const SampleSpec& s) { return !s.name.empty(); })) {
        Bytes texts;
        for (const SampleSpec& sample : samples) {
            Put32(names, static_cast<std::uint32_t>(4 * samples.size() + texts.size()));
            texts.insert(texts.end(), sample.name.begin(), sample.name.end());
            texts.push_back(0);
        }
        names.insert(names.end(), texts.begin(), texts.end());
    }
    BuiltBank bank;
    const std::string_view magic = "FSB5";
    bank.bytes.assign(magic.begin(), magic.end());
    for (std::uint32_t word :
         {version, static_cast<std::uint32_t>(samples.size()),
          static_cast<std::uint32_t>(headers.size()), static_cast<std::uint32_t>(names.size()),
          static_cast<std::uint32_t>(data.size()), codec}) {
        Put32(bank.bytes, word);
    }
    bank.bytes.resize(version == 0 ? 0x40 : 0x3C, 0);
    bank.sampleHeaders = bank.bytes.size();
    bank.bytes.insert(bank.bytes.end(), headers.begin(), headers.end());
    bank.bytes.insert(bank.bytes.end(), names.begin(), names.end());
    bank.dataStart = bank.bytes.size();
    bank.bytes.insert(bank.bytes.end(), data.begin(), data.end());
    return bank;
}

Bytes SineFrames(std::uint32_t channels, std::uint64_t frames, unsigned bytesPerSample,
                 bool asFloat) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(frames * channels * bytesPerSample));
    for (std::uint64_t f = 0; f < frames; ++f) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const double value = 0.8 * std::sin(0.05 * static_cast<double>((c + 1) * f));
            std::uint32_t bits = 0;
            if (asFloat) {
                bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
            } else {
                const double scale = std::ldexp(1.0, static_cast<int>(8 * bytesPerSample - 1)) - 1;
                bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(value * scale));
            }
            for (unsigned k = 0; k < bytesPerSample; ++k) {
                out.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
            }
        }
    }
    return out;
}

}  // namespace kestrova::testing
