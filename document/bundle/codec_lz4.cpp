// LZ4 and LZ4HC blocks: raw LZ4 blocks without a frame, through liblz4.

#include <lz4.h>
#include <lz4hc.h>

#include "common/text.h"
#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle::detail {

namespace {

// One LZ4 sequence can stand for at most 255 bytes per byte it takes, so a block cannot decode
// to much more than 255 times its compressed size; a larger declared size is refused before any
// buffer is sized by it.
constexpr std::uint64_t kMostExpansion = 256;
constexpr std::uint64_t kExpansionSlack = 64;

}  // namespace

Outcome DecodeLz4(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                  DecodeBuffers& buffers, std::uint64_t limit) {
    const std::uint64_t size = block.uncompressedSize;
    if (size > LZ4_MAX_INPUT_SIZE) {
        return Outcome::Failure(block.what + u" declares " + Bytes(size) +
                                u", more than an LZ4 block can hold.");
    }
    if (block.compressedSize >
        static_cast<std::uint64_t>(LZ4_compressBound(static_cast<int>(size)))) {
        return Outcome::Failure(block.what + u" has " + Bytes(block.compressedSize) +
                                u" of LZ4 data, more than any LZ4 block of " + Bytes(size) +
                                u" takes.");
    }
    if (size > block.compressedSize * kMostExpansion + kExpansionSlack) {
        return Outcome::Failure(block.what + u" declares " + Bytes(size) + u", more than its " +
                                Bytes(block.compressedSize) + u" of LZ4 data can decode to.");
    }
    if (!ReadRange(source, block.offset, block.compressedSize, buffers.input)) {
        return Outcome::Failure(block.what + u" runs past the end of the file.");
    }
    const char* in = reinterpret_cast<const char*>(buffers.input.data());
    const int inSize = static_cast<int>(block.compressedSize);
    if (limit < size) {
        const int want = static_cast<int>(limit);
        std::span<std::uint8_t> room = output.Reserve(static_cast<std::size_t>(want));
        int n = LZ4_decompress_safe_partial(in, reinterpret_cast<char*>(room.data()), inSize, want,
                                            want);
        if (n < 0) {
            return Outcome::Failure(block.what + u": its LZ4 data is damaged.");
        }
        return output.Commit(static_cast<std::size_t>(n)) ? Outcome::Success()
                                                          : Outcome::Failure(output.failure());
    }
    // One byte more than declared, so that a stream that goes on past its size is told apart.
    std::span<std::uint8_t> room = output.Reserve(static_cast<std::size_t>(size) + 1);
    int n = LZ4_decompress_safe(in, reinterpret_cast<char*>(room.data()), inSize,
                                static_cast<int>(size) + 1);
    if (n < 0) {
        return Outcome::Failure(block.what +
                                u": its LZ4 data is damaged or decodes to more than its declared " +
                                Bytes(size) + u".");
    }
    if (static_cast<std::uint64_t>(n) > size) {
        return Outcome::Failure(block.what + u": its LZ4 data runs past its declared " +
                                Bytes(size) + u".");
    }
    if (static_cast<std::uint64_t>(n) < size) {
        return Outcome::Failure(block.what + u": its LZ4 data ends early, after " +
                                Bytes(static_cast<std::uint64_t>(n)) + u" of " + Bytes(size) +
                                u".");
    }
    return output.Commit(static_cast<std::size_t>(n)) ? Outcome::Success()
                                                      : Outcome::Failure(output.failure());
}

Outcome EncodeLz4(bool high, std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out) {
    if (input.size() > LZ4_MAX_INPUT_SIZE) {
        return Outcome::Failure(u"A block of " + Bytes(input.size()) + u" is too large for LZ4.");
    }
    // Each thread keeps its compression state from block to block.
    thread_local std::vector<char> state;
    const int inSize = static_cast<int>(input.size());
    const int bound = LZ4_compressBound(inSize);
    out.resize(static_cast<std::size_t>(bound));
    const char* in = reinterpret_cast<const char*>(input.data());
    char* to = reinterpret_cast<char*>(out.data());
    int n = 0;
    if (high) {
        state.resize(static_cast<std::size_t>(LZ4_sizeofStateHC()));
        n = LZ4_compress_HC_extStateHC(state.data(), in, to, inSize, bound, LZ4HC_CLEVEL_DEFAULT);
    } else {
        state.resize(static_cast<std::size_t>(LZ4_sizeofState()));
        n = LZ4_compress_fast_extState(state.data(), in, to, inSize, bound, 1);
    }
    if (n <= 0 && inSize > 0) {
        return Outcome::Failure(u"LZ4 compression failed.");
    }
    out.resize(static_cast<std::size_t>(n));
    return Outcome::Success();
}

}  // namespace kestrova::bundle::detail
