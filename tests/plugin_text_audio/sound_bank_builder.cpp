#include "tests/plugin_text_audio/sound_bank_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestrova::testing {
namespace {

void Put(Bytes& out, std::uint64_t value, int bytes = 4) {
    for (int k = 0; k < bytes; ++k) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    }
}

// The code of `value` in `table`, or nullopt.
std::optional<std::uint64_t> CodeOf(const std::vector<std::uint32_t>& table, std::uint32_t value) {
    const auto found = std::find(table.begin(), table.end(), value);
    return found == table.end() ? std::nullopt
                                : std::optional<std::uint64_t>(found - table.begin());
}

}  // namespace

BuiltBank BuildSoundBank(std::uint32_t codec, const std::vector<SampleSpec>& samples,
                         std::uint32_t version) {
    Bytes headers, data, names, texts;
    for (const SampleSpec& sample : samples) {
        const auto rate =
            CodeOf({4000, 8000, 11000, 11025, 16000, 22050, 24000, 32000, 44100, 48000, 96000},
                   sample.rate);
        const auto channels = CodeOf({1, 2, 6, 8}, sample.channels);
        std::vector<std::pair<std::uint32_t, Bytes>> chunks;  // type and payload
        if (!rate) {
            chunks.emplace_back(2, Bytes{});
            Put(chunks.back().second, sample.rate);
        }
        if (!channels) {
            chunks.emplace_back(1, Bytes{static_cast<std::uint8_t>(sample.channels)});
        }
        if (sample.loop) {
            chunks.emplace_back(3, Bytes{});
            Put(chunks.back().second, sample.loop->first);
            Put(chunks.back().second, sample.loop->second);
        }
        Put(headers,
            (chunks.empty() ? 0 : 1) | rate.value_or(8) << 1 | channels.value_or(0) << 5 |
                (data.size() / 32) << 7 | sample.frames << 34,
            8);
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            Put(headers, (c + 1 < chunks.size() ? 1u : 0u) | chunks[c].second.size() << 1 |
                             chunks[c].first << 25);
            headers.insert(headers.end(), chunks[c].second.begin(), chunks[c].second.end());
        }
        data.insert(data.end(), sample.data.begin(), sample.data.end());
        data.resize((data.size() + 31) / 32 * 32, 0);
        Put(names, 4 * samples.size() + texts.size());
        texts.insert(texts.end(), sample.name.begin(), sample.name.end() + 1);
    }
    names.insert(names.end(), texts.begin(), texts.end());
    names.resize(texts.size() > samples.size() ? names.size() : 0);  // no table without names
    BuiltBank bank;
    bank.bytes = {'F', 'S', 'B', '5'};
    for (std::uint64_t word :
         {std::uint64_t{version}, std::uint64_t{samples.size()}, std::uint64_t{headers.size()},
          std::uint64_t{names.size()}, std::uint64_t{data.size()}, std::uint64_t{codec}}) {
        Put(bank.bytes, word);
    }
    bank.bytes.resize(version == 0 ? 0x40 : 0x3C, 0);
    bank.sampleHeaders = bank.bytes.size();
    for (const Bytes* part : {&headers, &names, &data}) {
        bank.dataStart = bank.bytes.size();
        bank.bytes.insert(bank.bytes.end(), part->begin(), part->end());
    }
    return bank;
}

Bytes SineFrames(std::uint32_t channels, std::uint64_t frames, unsigned bytesPerSample,
                 bool asFloat) {
    Bytes out;
    const double scale = std::ldexp(1.0, static_cast<int>(8 * bytesPerSample - 1)) - 1;
    for (std::uint64_t f = 0; f < frames; ++f) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const double value = 0.8 * std::sin(0.05 * static_cast<double>((c + 1) * f));
            Put(out,
                asFloat ? std::bit_cast<std::uint32_t>(static_cast<float>(value))
                        : static_cast<std::uint64_t>(static_cast<std::int64_t>(value * scale)),
                static_cast<int>(bytesPerSample));
        }
    }
    return out;
}

}  // namespace kestrova::testing
