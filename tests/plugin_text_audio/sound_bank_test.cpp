// FSB5 sound banks: the reader against banks built here, their samples as WAV files against the
// samples written (IMA ADPCM against a reference encoder's reconstruction), and banks whose
// headers lie.

#include <gtest/gtest.h>

#include <functional>

#include "plugins/audio/audio_body.h"
#include "plugins/audio/bank_wav.h"
#include "plugins/audio/sound_bank.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"

namespace kestrova::testing {
namespace {

using audio::BankCodec;

// The sample `index` of `bank` as a WAV file, checked against its rate and channels; its data.
Bytes WavSamples(const Bytes& bank, std::size_t index, std::uint16_t formatTag, unsigned bits) {
    audio::SoundBank parsed;
    std::string error;
    Bytes wav;
    EXPECT_TRUE(audio::ParseSoundBank(bank, parsed, error) &&
                audio::SampleToWav(parsed, bank, index, wav, error))
        << error;
    const std::optional<audio::WavInfo> info = audio::ReadWavInfo(wav);
    EXPECT_TRUE(info && info->formatTag == formatTag && info->bitsPerSample == bits &&
                info->channels == parsed.samples[index].channels &&
                info->sampleRate == parsed.samples[index].rate);
    return info ? Bytes(wav.begin() + 44, wav.begin() + 44 + GetLittle32(wav, 40)) : Bytes{};
}

TEST(SoundBank, PcmSamplesBecomeWavFilesHoldingTheSamplesWritten) {
    // Codec, bytes per sample, channels, rate, version; 3 channels and 12345 Hz have no code.
    for (const auto& [codec, bytes, channels, rate, version] :
         {std::tuple(BankCodec::Pcm8, 1u, 1u, 22050u, 1u),
          {BankCodec::Pcm16, 2u, 3u, 12345u, 0u},
          {BankCodec::Pcm24, 3u, 6u, 48000u, 1u},
          {BankCodec::Pcm32, 4u, 2u, 8000u, 0u},
          {BankCodec::PcmFloat, 4u, 8u, 96000u, 1u}}) {
        SCOPED_TRACE(audio::BankCodecName(static_cast<std::uint32_t>(codec)));
        const bool isFloat = codec == BankCodec::PcmFloat;
        const std::uint64_t frames = 1000 + channels;  // not a multiple of 32 bytes
        const Bytes samples = SineFrames(channels, frames, bytes, isFloat);
        // A second sample first, so that the one converted starts inside the data.
        const Bytes bank = BuildSoundBank(static_cast<std::uint32_t>(codec),
                                          {{8000, 1, 3, Bytes(3 * bytes, 9), "a", {{1, 2}}},
                                           {rate, channels, frames, samples, "b", {}}},
                                          version)
                               .bytes;
        Bytes expected = samples;
        for (std::uint8_t& b : expected) {
            b = codec == BankCodec::Pcm8 ? static_cast<std::uint8_t>(b + 128) : b;  // unsigned
        }
        EXPECT_EQ(WavSamples(bank, 1, isFloat ? 3 : 1, 8 * bytes), expected);
    }
}

// IMA ADPCM as a reference encoder writes it: it keeps the decoder's state, so what it
// reconstructs is what a decoder must give (and, with the step sizes right, close to the input).
TEST(SoundBank, ImaAdpcmDecodesToWhatTheReferenceEncoderReconstructs) {
    struct Encoder {
        int predictor = 0;
        int index = 0;
        std::uint8_t Encode(int sample) {
            const int step = audio::kImaSteps[static_cast<std::size_t>(index)];
            int diff = std::abs(sample - predictor);
            std::uint8_t code = sample < predictor ? 8 : 0;
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
    for (std::uint32_t channels : {1u, 2u}) {
        const std::uint64_t frames = 64 * 5 + 17;  // the last block partly used
        const Bytes pcm = SineFrames(channels, frames, 2);
        const auto input = [&](std::uint64_t f, std::uint32_t c) {
            const std::size_t at =
                static_cast<std::size_t>(2 * (std::min(f, frames - 1) * channels + c));
            return static_cast<std::int16_t>(pcm[at] | pcm[at + 1] << 8);
        };
        std::vector<Encoder> state(channels);
        Bytes data;
        std::vector<std::int16_t> expected(frames * channels);
        for (std::uint64_t block = 0; block * 64 < frames; ++block) {
            for (const Encoder& s : state) {  // predictor, step index, zero
                data.insert(data.end(), {static_cast<std::uint8_t>(s.predictor),
                                         static_cast<std::uint8_t>(s.predictor >> 8),
                                         static_cast<std::uint8_t>(s.index), 0});
            }
            // Runs of 8 codes (4 bytes) per channel, the first code in the low nibble.
            for (std::uint64_t run = 0; run < 64; run += 8) {
                for (std::uint32_t c = 0; c < channels; ++c) {
                    for (std::uint64_t f = block * 64 + run; f < block * 64 + run + 8; f += 2) {
                        std::uint8_t byte = 0;
                        for (std::uint64_t half : {0u, 1u}) {
                            byte |= static_cast<std::uint8_t>(state[c].Encode(input(f + half, c))
                                                              << 4 * half);
                            if (f + half < frames) {
                                expected[(f + half) * channels + c] =
                                    static_cast<std::int16_t>(state[c].predictor);
                            }
                        }
                        data.push_back(byte);
                    }
                }
            }
        }
        const Bytes bank = BuildSoundBank(7, {{22050, channels, frames, data, "", {}}}).bytes;
        const Bytes decoded = WavSamples(bank, 0, 1, 16);
        ASSERT_EQ(decoded.size(), 2 * expected.size());
        int worst = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const auto got = static_cast<std::int16_t>(decoded[2 * i] | decoded[2 * i + 1] << 8);
            EXPECT_EQ(got, expected[i]) << i;
            if (i >= 64 * channels) {
                worst = std::max(worst, std::abs(got - input(i / channels, i % channels)));
            }
        }
        EXPECT_LT(worst, 1500);
    }
}

TEST(SoundBank, BanksWhoseHeadersLieAreRefusedSayingWhich) {
    const Bytes tone = SineFrames(1, 64, 2);
    const BuiltBank good = BuildSoundBank(
        2, {{44100, 1, 64, tone, "name", {{3, 9}}}, {44100, 1, 64, tone, "next", {}}});
    audio::SoundBank parsed;
    std::string error;
    ASSERT_TRUE(audio::ParseSoundBank(good.bytes, parsed, error)) << error;
    const std::size_t headers = good.sampleHeaders;  // sample 0: word, loop chunk; sample 1 at +20
    const auto set32 = [](Bytes& b, std::size_t at, std::uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            b[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
        }
    };
    struct Case {
        std::function<void(Bytes&)> damage;
        const char* said;
    };
    const Case cases[] = {
        {[](Bytes& b) { b[3] = '4'; }, "not an FSB5"},
        {[&](Bytes& b) { set32(b, 4, 2); }, "version 2"},
        {[](Bytes& b) { b.resize(20); }, "too short for its header"},
        {[&](Bytes& b) { set32(b, 8, 0); }, "no samples"},
        {[&](Bytes& b) { set32(b, 8, 9); }, "at most 3"},
        {[&](Bytes& b) { set32(b, 12, 0x7FFFFFFF); }, "but the bank holds"},
        {[&](Bytes& b) { set32(b, 20, GetLittle32(b, 20) + 1); }, "but the bank holds"},
        {[](Bytes& b) { b.pop_back(); }, "but the bank holds"},
        {[&](Bytes& b) { b[headers] |= 0x1E; }, "rate code 15"},
        {[&](Bytes& b) { b[headers + 9] = 0xFF; }, "runs past the end of the sample headers"},
        {[&](Bytes& b) { b[headers + 23] = 0x7F; }, "which holds only"},
        {[&](Bytes& b) { set32(b, good.dataStart - 18, 4000); }, "name of sample 0 lies outside"},
        {[&](Bytes& b) { b[headers + 7] = 0x7F; }, "frames of 1 channels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        Bytes bank = good.bytes;
        c.damage(bank);
        Bytes wav;
        const bool read = audio::ParseSoundBank(bank, parsed, error) &&
                          audio::SampleToWav(parsed, bank, 0, wav, error);
        EXPECT_FALSE(read);
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace kestrova::testing
