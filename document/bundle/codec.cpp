// The compression codes and the dispatch to each codec; stored blocks are copied here.

#include "document/bundle/codec.h"

#include <algorithm>

#include "common/text.h"
#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle {

namespace detail {

std::u16string Bytes(std::uint64_t count) {
    return DecimalText(static_cast<std::int64_t>(count)) + (count == 1 ? u" byte" : u" bytes");
}

}  // namespace detail

using detail::Bytes;

bool CanEncode(Compression compression) {
    switch (compression) {
        case Compression::Stored:
            return true;
        case Compression::Lz4:
        case Compression::Lz4hc:
#ifdef KESTROVA_NO_LZ4
            return false;
#else
            return true;
#endif
        case Compression::Lzma:
#ifdef KESTROVA_NO_LZMA
            return false;
#else
            return true;
#endif
        case Compression::Lzham:
            break;
    }
    return false;
}

std::u16string CompressionName(std::uint32_t code) {
    switch (code) {
        case 0:
            return u"none";
        case 1:
            return u"LZMA";
        case 2:
            return u"LZ4";
        case 3:
            return u"LZ4HC";
        case 4:
            return u"LZHAM";
        default:
            return u"unknown (" + DecimalText(static_cast<std::int64_t>(code)) + u")";
    }
}

Outcome CheckDecodable(std::uint32_t code, std::u16string_view what) {
    if (code <= static_cast<std::uint32_t>(Compression::Lz4hc)) {
        return Outcome::Success();
    }
    const std::u16string subject(what);
    if (code == static_cast<std::uint32_t>(Compression::Lzham)) {
        return Outcome::Failure(subject +
                                u" is compressed with LZHAM, which Kestrova does not support.");
    }
    return Outcome::Failure(subject + u" names an unknown compression (" +
                            DecimalText(static_cast<std::int64_t>(code)) + u").");
}

std::span<std::uint8_t> MemoryOutput::Reserve(std::size_t count) {
    if (bytes.size() < used_ + count) {
        bytes.resize(used_ + count);
    }
    return std::span<std::uint8_t>(bytes).subspan(used_, count);
}

bool MemoryOutput::Commit(std::size_t count) {
    used_ += count;
    bytes.resize(used_);
    return true;
}

namespace {

// A stored block is its own bytes: copied through the output in pieces.
Outcome CopyStored(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                   const std::stop_token& stop, std::uint64_t limit) {
    if (block.compressedSize != block.uncompressedSize) {
        return Outcome::Failure(block.what + u" is stored, but its sizes differ (" +
                                Bytes(block.compressedSize) + u" in the file, " +
                                Bytes(block.uncompressedSize) + u" declared).");
    }
    constexpr std::uint64_t kPiece = std::uint64_t{4} << 20;
    const std::uint64_t length = std::min(block.uncompressedSize, limit);
    for (std::uint64_t done = 0; done < length;) {
        if (stop.stop_requested()) {
            return Cancelled();
        }
        const std::size_t n = static_cast<std::size_t>(std::min(kPiece, length - done));
        std::span<std::uint8_t> room = output.Reserve(n);
        if (!source.Read(block.offset + done, room.first(n))) {
            return Outcome::Failure(block.what + u" runs past the end of the file.");
        }
        if (!output.Commit(n)) {
            return Outcome::Failure(output.failure());
        }
        done += n;
    }
    return Outcome::Success();
}

}  // namespace

Outcome DecodeBlock(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                    DecodeBuffers& buffers, const std::stop_token& stop, std::uint64_t limit) {
    if (Outcome o = CheckDecodable(block.compression, block.what); !o) {
        return o;
    }
    if (!source.Contains(block.offset, block.compressedSize)) {
        return Outcome::Failure(block.what + u" (" + Bytes(block.compressedSize) + u" at byte " +
                                DecimalText(static_cast<std::int64_t>(block.offset)) +
                                u") runs past the end of the file.");
    }
    switch (static_cast<Compression>(block.compression)) {
        case Compression::Stored:
            return CopyStored(source, block, output, stop, limit);
        case Compression::Lzma:
            return detail::DecodeLzma(source, block, output, buffers, stop, limit);
        default:
            if (stop.stop_requested()) {
                return Cancelled();
            }
            return detail::DecodeLz4(source, block, output, buffers, limit);
    }
}

Outcome EncodeBlock(Compression compression, std::span<const std::uint8_t> input,
                    std::vector<std::uint8_t>& out) {
    switch (compression) {
        case Compression::Stored:
            out.assign(input.begin(), input.end());
            return Outcome::Success();
        case Compression::Lz4:
        case Compression::Lz4hc:
            return detail::EncodeLz4(compression == Compression::Lz4hc, input, out);
        case Compression::Lzma: {
            out.clear();
            std::size_t taken = 0;
            std::uint64_t written = 0;
            return EncodeLzmaStream(
                input.size(),
                [&](std::span<std::uint8_t> room) {
                    const std::size_t n = std::min(room.size(), input.size() - taken);
                    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(taken), n,
                                room.begin());
                    taken += n;
                    return true;
                },
                [&](std::span<const std::uint8_t> bytes) {
                    out.insert(out.end(), bytes.begin(), bytes.end());
                    return true;
                },
                written);
        }
        default:
            return Outcome::Failure(u"Kestrova cannot write " +
                                    CompressionName(static_cast<std::uint32_t>(compression)) +
                                    u" compression.");
    }
}

namespace detail {

Outcome ReadLzmaHeader(const ByteSource& source, const EncodedBlock& block,
                       std::span<std::uint8_t, 5> props, std::uint64_t& streamStart) {
    streamStart = block.lzmaSizeField ? 13 : 5;
    std::uint8_t header[13] = {};
    if (block.compressedSize < streamStart ||
        !source.Read(block.offset, std::span(header, streamStart))) {
        return Outcome::Failure(block.what + u" is too short for an LZMA header.");
    }
    std::copy_n(header, props.size(), props.begin());
    if (block.lzmaSizeField) {
        std::uint64_t stated = 0;
        for (int i = 12; i >= 5; --i) {
            stated = (stated << 8) | header[i];
        }
        if (stated != ~std::uint64_t{0} && stated != block.uncompressedSize) {
            return Outcome::Failure(block.what + u": its LZMA header gives " + Bytes(stated) +
                                    u", its bundle header " + Bytes(block.uncompressedSize) + u".");
        }
    }
    return Outcome::Success();
}

Outcome LzmaWindow(const EncodedBlock& block, std::uint64_t dictionary, std::uint32_t& window) {
    constexpr std::uint64_t kMaxDictionary = std::uint64_t{512} << 20;
    constexpr std::uint64_t kMinDictionary = 4096;
    const std::uint64_t size = std::clamp<std::uint64_t>(
        std::min(dictionary, block.uncompressedSize), kMinDictionary, 0xFFFFFFFFu);
    if (size > kMaxDictionary) {
        return Outcome::Failure(block.what + u" needs an LZMA dictionary of " + Bytes(size) +
                                u", more than Kestrova accepts.");
    }
    window = static_cast<std::uint32_t>(size);
    return Outcome::Success();
}

}  // namespace detail

}  // namespace kestrova::bundle
