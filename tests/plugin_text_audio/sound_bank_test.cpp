// FSB5 sound banks: the reader against banks built here, their samples as WAV files against the
// samples written (IMA ADPCM against a reference encoder's reconstruction), and banks whose
// headers lie.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

#include "plugins/audio/audio_body.h"
#include "plugins/audio/bank_wav.h"
#include "plugins/audio/sound_bank.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"

namespace kestrova::testing {
namespace {

using audio::BankCodec;
using audio::SoundBank;

constexpr std::uint32_t Codec(BankCodec codec) {
    return static_cast<std::uint32_t>(codec);
}

SoundBank Parsed(const Bytes& bank) {
    SoundBank parsed;
    std::string error;
    EXPECT_TRUE(audio::ParseSoundBank(bank, parsed, error)) << error;
    return parsed;
}

Bytes WavData(const Bytes& wav) {
    return Bytes(wav.begin() + 44, wav.begin() + 44 + GetLittle32(wav, 40));
}

TEST(SoundBank, PcmSamplesBecomeWavFilesHoldingTheSamplesWritten) {
    struct Case {
        BankCodec codec;
        unsigned bytes;
        bool asFloat;
        std::uint32_t channels;
        std::uint32_t rate;  // 12345 and 3 channels have no code: written as chunks
        std::uint32_t version;
    };
    const Case cases[] = {
        {BankCodec::Pcm8, 1, false, 1, 22050, 1},  {BankCodec::Pcm16, 2, false, 2, 44100, 1},
        {BankCodec::Pcm16, 2, false, 3, 12345, 0}, {BankCodec::Pcm24, 3, false, 6, 48000, 1},
        {BankCodec::Pcm32, 4, false, 2, 8000, 0},  {BankCodec::PcmFloat, 4, true, 8, 96000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(audio::BankCodecName(Codec(c.codec)) + " " + std::to_string(c.channels));
        const std::uint64_t frames = 1000 + c.channels;  // data not a multiple of 32 bytes
        const Bytes samples = SineFrames(c.channels, frames, c.bytes, c.asFloat);
        const BuiltBank bank = BuildSoundBank(
            Codec(c.codec), {{c.rate, c.channels, frames, samples, "tone", std::nullopt}},
            c.version);
        const SoundBank parsed = Parsed(bank.bytes);
        ASSERT_EQ(parsed.samples.size(), 1u);
        EXPECT_EQ(parsed.samples[0].rate, c.rate);
        EXPECT_EQ(parsed.samples[0].channels, c.channels);
        EXPECT_EQ(parsed.samples[0].frames, frames);
        EXPECT_EQ(parsed.samples[0].name, "tone");

        Bytes wav;
        std::string error;
        ASSERT_TRUE(audio::SampleToWav(parsed, bank.bytes, 0, wav, error)) << error;
        const std::optional<audio::WavInfo> info = audio::ReadWavInfo(wav);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->formatTag, c.asFloat ? 3 : 1);
        EXPECT_EQ(info->channels, c.channels);
        EXPECT_EQ(info->sampleRate, c.rate);
        EXPECT_EQ(info->bitsPerSample, 8 * c.bytes);
        Bytes expected = samples;
        if (c.codec == BankCodec::Pcm8) {
            for (std::uint8_t& b : expected) {
                b = static_cast<std::uint8_t>(b + 128);  // WAV's 8-bit samples are unsigned
            }
        }
        EXPECT_EQ(WavData(wav), expected);
    }
}

// IMA ADPCM as a reference encoder writes it: it keeps the decoder's state, so what it
// reconstructs is what a decoder must give (and, with the step sizes right, close to the input).
struct ImaReference {
    int predictor = 0;
    int index = 0;

    std::uint8_t Encode(int sample) {
        const int step = audio::kImaSteps[static_cast<std::size_t>(index)];
        int diff = sample - predictor;
        std::uint8_t code = diff < 0 ? 8 : 0;
        diff = std::abs(diff);
        // The reconstruction is what the chosen bits add up to.
        int delta = step >> 3;
        for (int bit = 2, part = step; bit >= 0; --bit, part >>= 1) {
            if (diff >= part) {
                code |= static_cast<std::uint8_t>(1 << bit);
                diff -= part;
                delta += part;
            }
        }
        predictor = std::clamp(predictor + ((code & 8) ? -delta : delta), -32768, 32767);
        index = std::clamp(index + ((code & 4) ? 2 * (code & 3) + 2 : -1), 0, 88);
        return code;
    }
};

TEST(SoundBank, ImaAdpcmDecodesToWhatTheReferenceEncoderReconstructs) {
    for (std::uint32_t channels : {1u, 2u}) {
        SCOPED_TRACE(channels);
        const std::uint64_t frames = 64 * 5 + 17;  // the last block partly used
        const Bytes pcm = SineFrames(channels, frames, 2);
        std::vector<ImaReference> state(channels);
        Bytes data;
        Bytes reconstructed;
        for (std::uint64_t block = 0; block * 64 < frames; ++block) {
            for (ImaReference& s : state) {
                for (int v : {s.predictor & 0xFF, (s.predictor >> 8) & 0xFF, s.index, 0}) {
                    data.push_back(static_cast<std::uint8_t>(v));
                }
            }
            std::vector<std::vector<std::uint8_t>> codes(channels);
            for (std::uint64_t k = 0; k < 64; ++k) {
                const std::uint64_t frame = std::min(block * 64 + k, frames - 1);
                for (std::uint32_t c = 0; c < channels; ++c) {
                    const std::size_t at = static_cast<std::size_t>(2 * (frame * channels + c));
                    const auto sample = static_cast<std::int16_t>(pcm[at] | (pcm[at + 1] << 8));
                    codes[c].push_back(state[c].Encode(sample));
                    if (block * 64 + k < frames) {
                        reconstructed.push_back(static_cast<std::uint8_t>(state[c].predictor));
                        reconstructed.push_back(static_cast<std::uint8_t>(state[c].predictor >> 8));
                    }
                }
            }
            // Runs of 4 bytes (8 codes) per channel, the first code in the low nibble.
            for (std::size_t run = 0; run < 8; ++run) {
                for (std::uint32_t c = 0; c < channels; ++c) {
                    for (std::size_t b = 0; b < 4; ++b) {
                        const std::size_t k = 8 * run + 2 * b;
                        data.push_back(
                            static_cast<std::uint8_t>(codes[c][k] | codes[c][k + 1] << 4));
                    }
                }
            }
        }
        const BuiltBank bank =
            BuildSoundBank(Codec(BankCodec::ImaAdpcm), {{22050, channels, frames, data, "", {}}});
        Bytes wav;
        std::string error;
        ASSERT_TRUE(audio::SampleToWav(Parsed(bank.bytes), bank.bytes, 0, wav, error)) << error;
        EXPECT_EQ(audio::ReadWavInfo(wav)->bitsPerSample, 16);
        const Bytes decoded = WavData(wav);
        EXPECT_EQ(decoded, reconstructed);
        // And the reconstruction follows the sine it encoded.
        int worst = 0;
        for (std::size_t i = 64 * channels; i + 1 < decoded.size() / 2; ++i) {
            const auto got = static_cast<std::int16_t>(decoded[2 * i] | decoded[2 * i + 1] << 8);
            const auto want = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
            worst = std::max(worst, std::abs(got - want));
        }
        EXPECT_LT(worst, 1500);
    }
}

TEST(SoundBank, SeveralSamplesKeepTheirDataNamesAndLoops) {
    const Bytes a = SineFrames(1, 40, 2);
    const Bytes b = SineFrames(2, 7, 2);
    const Bytes c = SineFrames(1, 100, 2);
    const BuiltBank bank =
        BuildSoundBank(Codec(BankCodec::Pcm16), {{8000, 1, 40, a, "first", std::make_pair(3u, 39u)},
                                                 {11025, 2, 7, b, "", std::nullopt},
                                                 {16000, 1, 100, c, "third one", std::nullopt}});
    const SoundBank parsed = Parsed(bank.bytes);
    ASSERT_EQ(parsed.samples.size(), 3u);
    EXPECT_EQ(parsed.dataStart, bank.dataStart);
    const std::array<const Bytes*, 3> data = {&a, &b, &c};
    const std::array<const char*, 3> names = {"first", "", "third one"};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const plugin::ByteSpan got = parsed.SampleData(bank.bytes, i);
        // Each sample's data runs to the next one's, padding to 32 bytes included.
        EXPECT_EQ(got.size() % 32, 0u);
        EXPECT_TRUE(std::equal(data[i]->begin(), data[i]->end(), got.begin()));
        EXPECT_EQ(parsed.samples[i].name, names[i]);
    }
    EXPECT_EQ(parsed.samples[0].loop, std::make_pair(3u, 39u));
    EXPECT_FALSE(parsed.samples[1].loop);
    Bytes wav;
    std::string error;
    ASSERT_TRUE(audio::SampleToWav(parsed, bank.bytes, 1, wav, error)) << error;
    EXPECT_EQ(WavData(wav), b);
}

TEST(SoundBank, CodecsWithoutAWavFormAreExportedAsTheBankOnly) {
    for (BankCodec codec : {BankCodec::Vorbis, BankCodec::Mpeg, BankCodec::GcAdpcm}) {
        const BuiltBank bank = BuildSoundBank(Codec(codec), {{44100, 2, 10, Bytes(64, 1), "", {}}});
        Bytes wav;
        std::string error;
        EXPECT_FALSE(audio::SampleToWav(Parsed(bank.bytes), bank.bytes, 0, wav, error));
        EXPECT_NE(error.find(".fsb"), std::string::npos) << error;
        EXPECT_NE(error.find(audio::BankCodecName(Codec(codec))), std::string::npos) << error;
    }
}

TEST(SoundBank, BanksWhoseHeadersLieAreRefusedSayingWhich) {
    const Bytes tone = SineFrames(1, 64, 2);
    const BuiltBank good = BuildSoundBank(Codec(BankCodec::Pcm16),
                                          {{44100, 1, 64, tone, "name", std::make_pair(3u, 9u)},
                                           {44100, 1, 64, tone, "next", std::nullopt}});
    const std::size_t headers = good.sampleHeaders;
    const auto set32 = [](Bytes& bank, std::size_t at, std::uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            bank[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
        }
    };
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* said;
    };
    const Case cases[] = {
        {"magic", [](Bytes& b) { b[3] = '4'; }, "not an FSB5"},
        {"version", [&](Bytes& b) { set32(b, 4, 2); }, "version 2"},
        {"cut in the header", [](Bytes& b) { b.resize(20); }, "too short for its header"},
        {"no samples", [&](Bytes& b) { set32(b, 8, 0); }, "no samples"},
        {"more samples than headers", [&](Bytes& b) { set32(b, 8, 9); }, "at most"},
        {"sample headers beyond the bank", [&](Bytes& b) { set32(b, 12, 0x7FFFFFFF); },
         "the bank holds"},
        {"data beyond the bank", [&](Bytes& b) { set32(b, 20, GetLittle32(b, 20) + 1); },
         "the bank holds"},
        {"cut in the data", [](Bytes& b) { b.pop_back(); }, "the bank holds"},
        {"rate code", [&](Bytes& b) { b[headers] |= 0x1E; }, "rate code 15"},
        // The first sample's loop chunk: its size past the end of the sample headers.
        {"chunk past its end",
         [&](Bytes& b) {
             b[headers + 8] |= 0xFE;
             b[headers + 9] = 0xFF;
         },
         "runs past the end of the sample headers"},
        {"sample data beyond the data", [&](Bytes& b) { b[headers + 20 + 3] = 0x7F; },
         "holds only"},
        {"name outside the table", [&](Bytes& b) { set32(b, good.dataStart - 18, 4000); },
         "name of sample 0"},
        {"no room for its frames", [&](Bytes& b) { b[headers + 7] = 0x7F; },
         "frames of 1 channels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bank = good.bytes;
        c.damage(bank);
        SoundBank parsed;
        std::string error;
        if (audio::ParseSoundBank(bank, parsed, error)) {
            Bytes wav;
            ASSERT_FALSE(audio::SampleToWav(parsed, bank, 0, wav, error));
        }
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace kestrova::testing
