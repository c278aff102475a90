// LZMA blocks: 5 property bytes and a raw LZMA stream (after an 8-byte size in the "LZMA-alone"
// header of a "UnityWeb" stream), decoded and encoded through liblzma in pieces.

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/text.h"
#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;
// The encoder's setting: xz's default level.
constexpr std::uint32_t kEncoderPreset = 6;

struct LzmaStream {
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaStream() { lzma_end(&stream); }
};

}  // namespace

namespace detail {

Outcome DecodeLzma(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                   DecodeBuffers& buffers, const std::stop_token& stop, std::uint64_t limit) {
    std::uint8_t props[5] = {};
    std::uint64_t header = 0;
    if (Outcome o = ReadLzmaHeader(source, block, props, header); !o) {
        return o;
    }
    lzma_filter decodedProps{LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&decodedProps, nullptr, props, 5) != LZMA_OK) {
        return Outcome::Failure(block.what + u" has LZMA properties that are not valid.");
    }
    lzma_options_lzma options = *static_cast<lzma_options_lzma*>(decodedProps.options);
    std::free(decodedProps.options);
    // No block needs a window larger than itself, so a dictionary the block cannot fill is not
    // allocated.
    if (Outcome o = LzmaWindow(block, options.dict_size, options.dict_size); !o) {
        return o;
    }
    lzma_set_ext_size(options, block.uncompressedSize);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaStream z;
    if (lzma_raw_decoder(&z.stream, filters) != LZMA_OK) {
        return Outcome::Failure(block.what + u": the LZMA decoder cannot start.");
    }
    const std::uint64_t wanted = std::min(limit, block.uncompressedSize);
    std::uint64_t fed = header;
    std::uint64_t produced = 0;
    buffers.input.resize(kPiece);
    while (produced < wanted || wanted == block.uncompressedSize) {
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (z.stream.avail_in == 0 && fed < block.compressedSize) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(kPiece, block.compressedSize - fed));
            if (!source.Read(block.offset + fed, std::span(buffers.input).first(n))) {
                return Outcome::Failure(block.what + u" runs past the end of the file.");
            }
            z.stream.next_in = buffers.input.data();
            z.stream.avail_in = n;
            fed += n;
        }
        // Room for one byte more than wanted at the end, so that the decoder can look for an
        // end marker; it never writes past the size it was given.
        const std::size_t room = static_cast<std::size_t>(
            std::max<std::uint64_t>(std::min<std::uint64_t>(kPiece, wanted - produced), 1));
        std::span<std::uint8_t> out = output.Reserve(room);
        z.stream.next_out = out.data();
        z.stream.avail_out = room;
        const bool last = fed == block.compressedSize;
        lzma_ret r = lzma_code(&z.stream, last ? LZMA_FINISH : LZMA_RUN);
        const std::size_t made = room - z.stream.avail_out;
        if (!output.Commit(made)) {
            return Outcome::Failure(output.failure());
        }
        produced += made;
        if (r == LZMA_STREAM_END) {
            break;
        }
        if (r != LZMA_OK && produced == block.uncompressedSize) {
            return Outcome::Failure(block.what + u": its LZMA data runs past its declared " +
                                    Bytes(block.uncompressedSize) + u".");
        }
        if (r != LZMA_OK) {
            const bool early = last && z.stream.avail_in == 0;
            return Outcome::Failure(block.what +
                                    (early ? u": its LZMA data ends early, after "
                                           : u": its LZMA data is damaged or ends early, after ") +
                                    Bytes(produced) + u" of " + Bytes(block.uncompressedSize) +
                                    u".");
        }
        if (wanted < block.uncompressedSize && produced >= wanted) {
            return Outcome::Success();
        }
    }
    if (produced != block.uncompressedSize) {
        return Outcome::Failure(block.what + u": its LZMA data ends early, after " +
                                Bytes(produced) + u" of " + Bytes(block.uncompressedSize) + u".");
    }
    // The stream ended at its declared size; any compressed bytes after that belong to a stream
    // that runs long.
    const std::uint64_t unused = z.stream.avail_in + (block.compressedSize - fed);
    if (unused != 0) {
        return Outcome::Failure(block.what + u": its LZMA data runs past its declared " +
                                Bytes(block.uncompressedSize) + u" (" + Bytes(unused) +
                                u" left over).");
    }
    return Outcome::Success();
}

}  // namespace detail

Outcome EncodeLzmaStream(std::uint64_t length,
                         const std::function<bool(std::span<std::uint8_t>)>& pull,
                         const std::function<bool(std::span<const std::uint8_t>)>& push,
                         std::uint64_t& written, const std::stop_token& stop) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, kEncoderPreset)) {
        return Outcome::Failure(u"The LZMA encoder cannot start.");
    }
    // A window larger than the input buys nothing and costs memory and time to set up (a blocks
    // info is a few kilobytes).
    options.dict_size = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(length, LZMA_DICT_SIZE_MIN, options.dict_size));
    // The stream carries no end marker: its size is in the blocks info.
    options.ext_flags = 0;
    const lzma_filter propsFilter{LZMA_FILTER_LZMA1, &options};
    std::uint8_t props[5] = {};
    if (lzma_properties_encode(&propsFilter, props) != LZMA_OK) {
        return Outcome::Failure(u"The LZMA encoder cannot start.");
    }
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaStream z;
    if (lzma_raw_encoder(&z.stream, filters) != LZMA_OK) {
        return Outcome::Failure(u"The LZMA encoder cannot start.");
    }
    if (!push(props)) {
        return Outcome::Failure(u"The compressed data could not be written.");
    }
    written = sizeof props;
    std::vector<std::uint8_t> in(std::min<std::uint64_t>(kPiece, length));
    std::vector<std::uint8_t> out(kPiece);
    std::uint64_t taken = 0;
    for (;;) {
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (z.stream.avail_in == 0 && taken < length) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), length - taken));
            if (!pull(std::span(in).first(n))) {
                return Outcome::Failure(u"The data to compress could not be read.");
            }
            z.stream.next_in = in.data();
            z.stream.avail_in = n;
            taken += n;
        }
        z.stream.next_out = out.data();
        z.stream.avail_out = out.size();
        lzma_ret r = lzma_code(&z.stream, taken == length ? LZMA_FINISH : LZMA_RUN);
        const std::size_t made = out.size() - z.stream.avail_out;
        if (made > 0 && !push(std::span(out).first(made))) {
            return Outcome::Failure(u"The compressed data could not be written.");
        }
        written += made;
        if (r == LZMA_STREAM_END) {
            return Outcome::Success();
        }
        if (r != LZMA_OK) {
            return Outcome::Failure(u"LZMA compression failed.");
        }
    }
}

}  // namespace kestrova::bundle
