#include "plugins/audio/sound_bank.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrova::audio {
namespace {

constexpr std::array<const char*, 18> kCodecNames = {
    "no codec", "PCM 8-bit", "PCM 16-bit", "PCM 24-bit", "PCM 32-bit", "PCM float",
    "GC ADPCM", "IMA ADPCM", "VAG",        "HE-VAG",     "XMA",        "MPEG",
    "CELT",     "ATRAC9",    "XWMA",       "Vorbis",     "FADPCM",     "Opus",
};

// The rates of the sample header's 4-bit rate code.
constexpr std::array<std::uint32_t, 11> kRates = {4000,  8000,  11000, 11025, 16000, 22050,
                                                  24000, 32000, 44100, 48000, 96000};
// The channel counts of its 2-bit channel code.
constexpr std::array<std::uint32_t, 4> kChannels = {1, 2, 6, 8};

std::uint64_t Bits(std::uint64_t word, unsigned first, unsigned count) {
    return (word >> first) & ((std::uint64_t{1} << count) - 1);
}

std::string SampleText(std::size_t index) {
    return "sample " + std::to_string(index);
}

// The chunks after a sample header's word; `more` is the word's "a chunk follows" bit.
bool ReadChunks(ByteReader& headers, std::size_t index, bool more, BankSample& sample,
                std::string& error) {
    while (more) {
        std::uint32_t word = 0;
        if (!headers.ReadLittleEndian32(word)) {
            error = "The header of " + SampleText(index) +
                    " says a chunk follows, but the sample headers end there.";
            return false;
        }
        more = (word & 1) != 0;
        const std::uint32_t size = (word >> 1) & 0xFFFFFF;
        const std::uint32_t type = word >> 25;
        ByteSpan payload;
        if (!headers.Take(size, payload)) {
            error = "A chunk of type " + std::to_string(type) + " in the header of " +
                    SampleText(index) + " is said to be " + std::to_string(size) +
                    " bytes long, but runs past the end of the sample headers.";
            return false;
        }
        ByteReader chunk(payload);
        bool read = true;
        switch (static_cast<BankChunk>(type)) {
            case BankChunk::Channels: {
                std::uint8_t channels = 0;
                read = chunk.ReadByte(channels) && channels > 0;
                sample.channels = channels;
                break;
            }
            case BankChunk::Frequency:
                read = chunk.ReadLittleEndian32(sample.rate) && sample.rate > 0;
                break;
            case BankChunk::Loop: {
                std::uint32_t first = 0;
                std::uint32_t last = 0;
                read = chunk.ReadLittleEndian32(first) && chunk.ReadLittleEndian32(last);
                sample.loop = std::make_pair(first, last);
                break;
            }
            default:
                break;  // codec data the reader does not need
        }
        if (!read) {
            error = "The chunk of type " + std::to_string(type) + " in the header of " +
                    SampleText(index) + " is too short or holds zero.";
            return false;
        }
    }
    return true;
}

bool ReadSampleHeaders(ByteSpan region, std::uint32_t count, std::uint64_t dataSize,
                       std::vector<BankSample>& samples, std::string& error) {
    ByteReader headers(region);
    for (std::uint32_t index = 0; index < count; ++index) {
        std::uint64_t word = 0;
        if (!headers.ReadLittleEndian64(word)) {
            error = "The sample headers end before the header of " + SampleText(index) + " of " +
                    std::to_string(count) + ".";
            return false;
        }
        BankSample sample;
        const std::uint64_t rateCode = Bits(word, 1, 4);
        if (rateCode >= kRates.size()) {
            error = "The header of " + SampleText(index) + " has the rate code " +
                    std::to_string(rateCode) + ", which names no rate.";
            return false;
        }
        sample.rate = kRates[rateCode];
        sample.channels = kChannels[Bits(word, 5, 2)];
        sample.offset = Bits(word, 7, 27) * 32;
        sample.frames = Bits(word, 34, 30);
        if (!ReadChunks(headers, index, (word & 1) != 0, sample, error)) {
            return false;
        }
        if (sample.offset > dataSize) {
            error = "The data of " + SampleText(index) + " is said to start at byte " +
                    std::to_string(sample.offset) + " of the sample data, which holds only " +
                    std::to_string(dataSize) + " bytes.";
            return false;
        }
        if (!samples.empty() && sample.offset < samples.back().offset) {
            error = "The data of " + SampleText(index) +
                    " starts before that of the sample "
                    "before it.";
            return false;
        }
        samples.push_back(std::move(sample));
    }
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const std::uint64_t end = index + 1 < samples.size() ? samples[index + 1].offset : dataSize;
        samples[index].size = end - samples[index].offset;
    }
    return true;
}

bool ReadNames(ByteSpan table, std::vector<BankSample>& samples, std::string& error) {
    ByteReader names(table);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        std::uint32_t offset = 0;
        if (!names.ReadLittleEndian32(offset)) {
            error = "The name table ends before the name offset of " + SampleText(index) + ".";
            return false;
        }
        const auto terminator =
            offset < table.size() ? std::find(table.begin() + offset, table.end(), 0) : table.end();
        if (terminator == table.end()) {
            error = "The name of " + SampleText(index) +
                    " lies outside the name table or "
                    "lacks its terminating zero.";
            return false;
        }
        samples[index].name.assign(table.begin() + offset, terminator);
    }
    return true;
}

}  // namespace

std::string BankCodecName(std::uint32_t codec) {
    return codec < kCodecNames.size() ? kCodecNames[codec] : "codec " + std::to_string(codec);
}

ByteSpan SoundBank::SampleData(ByteSpan bank, std::size_t index) const {
    const BankSample& sample = samples.at(index);
    return bank.subspan(static_cast<std::size_t>(dataStart + sample.offset),
                        static_cast<std::size_t>(sample.size));
}

bool ParseSoundBank(ByteSpan bank, SoundBank& out, std::string& error) {
    ByteReader reader(bank);
    ByteSpan magic;
    if (!reader.Take(4, magic) || std::memcmp(magic.data(), "FSB5", 4) != 0) {
        error = "The data is not an FSB5 sound bank: it does not start with \"FSB5\".";
        return false;
    }
    SoundBank parsed;
    std::uint32_t count = 0;
    std::uint32_t headersSize = 0;
    std::uint32_t namesSize = 0;
    std::uint32_t dataSize = 0;
    if (!reader.ReadLittleEndian32(parsed.version) || !reader.ReadLittleEndian32(count) ||
        !reader.ReadLittleEndian32(headersSize) || !reader.ReadLittleEndian32(namesSize) ||
        !reader.ReadLittleEndian32(dataSize) || !reader.ReadLittleEndian32(parsed.codec)) {
        error = "The sound bank is " + std::to_string(bank.size()) +
                " bytes long, too short for its header.";
        return false;
    }
    if (parsed.version > 1) {
        error = "The sound bank is of version " + std::to_string(parsed.version) +
                "; versions 0 and 1 are read.";
        return false;
    }
    // Version 0 keeps one more word in its header.
    const std::uint64_t headerSize = parsed.version == 0 ? 0x40 : 0x3C;
    const std::uint64_t namesStart = headerSize + headersSize;
    parsed.dataStart = namesStart + namesSize;
    const std::uint64_t end = parsed.dataStart + dataSize;
    if (end > bank.size()) {
        error = "The sound bank's header claims " + std::to_string(end) + " bytes (header, " +
                std::to_string(headersSize) + " bytes of sample headers, " +
                std::to_string(namesSize) + " of names, " + std::to_string(dataSize) +
                " of sample data), but the bank holds " + std::to_string(bank.size()) + ".";
        return false;
    }
    if (count == 0) {
        error = "The sound bank lists no samples.";
        return false;
    }
    // Each sample header is at least its 8-byte word.
    if (count > headersSize / 8) {
        error = "The sound bank claims " + std::to_string(count) + " samples, but its " +
                std::to_string(headersSize) + " bytes of sample headers hold at most " +
                std::to_string(headersSize / 8) + ".";
        return false;
    }
    parsed.samples.reserve(count);
    if (!ReadSampleHeaders(bank.subspan(headerSize, headersSize), count, dataSize, parsed.samples,
                           error)) {
        return false;
    }
    if (namesSize > 0 && !ReadNames(bank.subspan(namesStart, namesSize), parsed.samples, error)) {
        return false;
    }
    out = std::move(parsed);
    return true;
}

}  // namespace kestrova::audio
