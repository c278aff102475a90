#include "plugins/audio/bank_wav.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

namespace kestrova::audio {
namespace {

constexpr std::uint16_t kWavPcm = 1;
constexpr std::uint16_t kWavFloat = 3;

constexpr std::array<std::int32_t, 8> kImaIndexSteps = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
    std::int32_t predictor = 0;
    std::int32_t index = 0;

    std::int16_t Decode(std::uint8_t code) {
        const std::int32_t step = kImaSteps[static_cast<std::size_t>(index)];
        std::int32_t diff = step >> 3;
        if (code & 1)
            diff += step >> 2;
        if (code & 2)
            diff += step >> 1;
        if (code & 4)
            diff += step;
        predictor = std::clamp(predictor + ((code & 8) ? -diff : diff), -32768, 32767);
        index = std::clamp(index + kImaIndexSteps[code & 7], 0, 88);
        return static_cast<std::int16_t>(predictor);
    }
};

// `frames` frames of IMA ADPCM of `channels` channels as interleaved 16-bit little-endian PCM.
Bytes DecodeIma(ByteSpan data, std::uint32_t channels, std::uint64_t frames) {
    const std::size_t blockBytes = kImaBlockBytesPerChannel * channels;
    Bytes pcm(static_cast<std::size_t>(frames) * channels * 2);
    std::vector<ImaChannel> state(channels);
    std::uint64_t frame = 0;
    for (std::size_t block = 0; frame < frames; ++block) {
        const ByteSpan bytes = data.subspan(block * blockBytes, blockBytes);
        for (std::uint32_t c = 0; c < channels; ++c) {
            const std::uint8_t* head = bytes.data() + 4 * c;
            state[c].predictor = static_cast<std::int16_t>(head[0] | (head[1] << 8));
            state[c].index = std::min<std::int32_t>(head[2], 88);
        }
        const std::uint64_t inBlock = std::min<std::uint64_t>(kImaFramesPerBlock, frames - frame);
        for (std::uint64_t k = 0; k < inBlock; ++k) {
            // Each channel's codes come in runs of 4 bytes (8 frames).
            for (std::uint32_t c = 0; c < channels; ++c) {
                const std::size_t at = 4 * channels + (k / 8) * 4 * channels + 4 * c + (k % 8) / 2;
                const std::uint8_t code = (k % 2 == 0) ? bytes[at] & 0x0F : bytes[at] >> 4;
                const std::int16_t value = state[c].Decode(code);
                const std::size_t out = static_cast<std::size_t>((frame + k) * channels + c) * 2;
                pcm[out] = static_cast<std::uint8_t>(value);
                pcm[out + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) >> 8);
            }
        }
        frame += inBlock;
    }
    return pcm;
}

Bytes WavFile(std::uint16_t tag, std::uint32_t channels, std::uint32_t rate, std::uint16_t bits,
              ByteSpan samples) {
    const auto blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size());
    // Written in place at its full size (chunks end at even offsets): gcc 12 takes small appends
    // to a fresh vector for overflows.
    Bytes wav(44 + samples.size() + samples.size() % 2, 0);
    const auto put = [&wav](std::size_t at, std::uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k) {
            wav[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
        }
    };
    const std::string_view tags = "RIFF....WAVEfmt ";
    std::copy(tags.begin(), tags.end(), wav.begin());
    put(4, static_cast<std::uint32_t>(wav.size() - 8), 4);
    put(16, 16, 4);
    put(20, tag, 2);
    put(22, channels, 2);
    put(24, rate, 4);
    put(28, rate * blockAlign, 4);
    put(32, blockAlign, 2);
    put(34, bits, 2);
    const std::string_view data = "data";
    std::copy(data.begin(), data.end(), wav.begin() + 36);
    put(40, dataBytes, 4);
    std::copy(samples.begin(), samples.end(), wav.begin() + 44);
    return wav;
}

}  // namespace

const std::array<std::int32_t, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

std::optional<std::string> WavRefusal(std::uint32_t codec) {
    switch (static_cast<BankCodec>(codec)) {
        case BankCodec::Pcm8:
        case BankCodec::Pcm16:
        case BankCodec::Pcm24:
        case BankCodec::Pcm32:
        case BankCodec::PcmFloat:
        case BankCodec::ImaAdpcm:
            return std::nullopt;
        case BankCodec::Vorbis:
            return "The sound bank holds Vorbis-coded samples in the bank's own packet form, "
                   "which is no Ogg file and has no WAV form here: export it as .fsb.";
        default:
            return "The sound bank's samples are coded as " + BankCodecName(codec) +
                   ", which is not turned into WAV: export it as .fsb.";
    }
}

bool SampleToWav(const SoundBank& parsed, ByteSpan bank, std::size_t index, Bytes& wav,
                 std::string& error) {
    if (std::optional<std::string> refusal = WavRefusal(parsed.codec)) {
        error = *refusal;
        return false;
    }
    const BankSample& sample = parsed.samples.at(index);
    const ByteSpan data = parsed.SampleData(bank, index);
    const auto codec = static_cast<BankCodec>(parsed.codec);
    const bool ima = codec == BankCodec::ImaAdpcm;
    std::uint16_t bits = 16;
    switch (codec) {
        case BankCodec::Pcm8:
            bits = 8;
            break;
        case BankCodec::Pcm24:
            bits = 24;
            break;
        case BankCodec::Pcm32:
        case BankCodec::PcmFloat:
            bits = 32;
            break;
        default:
            break;
    }
    // The bytes the frame count needs, in 64 bits: frames < 2^30, channels <= 255.
    const std::uint64_t needed = ima ? (sample.frames + kImaFramesPerBlock - 1) /
                                           kImaFramesPerBlock * kImaBlockBytesPerChannel *
                                           sample.channels
                                     : sample.frames * sample.channels * (bits / 8);
    if (needed > data.size()) {
        error = "Sample " + std::to_string(index) + " is said to hold " +
                std::to_string(sample.frames) + " frames of " + std::to_string(sample.channels) +
                " channels (" + std::to_string(needed) + " bytes of " +
                BankCodecName(parsed.codec) + "), but its data is " + std::to_string(data.size()) +
                " bytes long.";
        return false;
    }
    const std::uint64_t pcmBytes = sample.frames * sample.channels * (ima ? 2 : bits / 8);
    if (pcmBytes > std::numeric_limits<std::uint32_t>::max() - 44) {
        error = "Sample " + std::to_string(index) + " is too long for a WAV file.";
        return false;
    }
    if (ima) {
        wav = WavFile(kWavPcm, sample.channels, sample.rate, 16,
                      DecodeIma(data, sample.channels, sample.frames));
        return true;
    }
    const ByteSpan frames = data.first(static_cast<std::size_t>(needed));
    if (codec == BankCodec::Pcm8) {
        // The bank's 8-bit samples are signed; WAV's are unsigned.
        Bytes unsigned8(frames.begin(), frames.end());
        for (std::uint8_t& byte : unsigned8) {
            byte ^= 0x80;
        }
        wav = WavFile(kWavPcm, sample.channels, sample.rate, 8, unsigned8);
        return true;
    }
    wav = WavFile(codec == BankCodec::PcmFloat ? kWavFloat : kWavPcm, sample.channels, sample.rate,
                  bits, frames);
    return true;
}

}  // namespace kestrova::audio
