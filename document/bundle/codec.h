#pragma once
// The compressions of bundle blocks: what each code means, and decompression that streams one
// block at a time into an output, checking that the block decodes from exactly its compressed
// bytes to exactly its declared size. The codecs themselves are Debian's liblz4 and liblzma
// (codec_lz4.cpp, codec_lzma.cpp); LZHAM is recognised and refused by name.

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "document/bundle/byte_source.h"

namespace kestrova::bundle {

// The low six bits of a block's or a header's flags.
enum class Compression : std::uint32_t { Stored = 0, Lzma = 1, Lz4 = 2, Lz4hc = 3, Lzham = 4 };
inline constexpr std::uint32_t kCompressionMask = 0x3F;

// "none", "LZMA", "LZ4", "LZ4HC", "LZHAM" or "unknown (N)".
std::u16string CompressionName(std::uint32_t code);

// Refuses a code that nothing here decodes, naming what uses it ("Block 3", "The blocks info"):
// LZHAM by name, any other unknown code by its number.
Outcome CheckDecodable(std::uint32_t code, std::u16string_view what);

// Where decoded bytes go. Reserve hands out room for up to `count` bytes (the room stays valid
// until the next call); Commit takes the first `count` bytes of it. False from Commit ends the
// decoding with the output's own failure.
class StreamOutput {
public:
    virtual ~StreamOutput() = default;
    virtual std::span<std::uint8_t> Reserve(std::size_t count) = 0;
    virtual bool Commit(std::size_t count) = 0;
    // Why the last Commit failed, in words.
    virtual std::u16string failure() const { return u"The output could not be written."; }
};

// Collects decoded bytes in memory (a blocks info, the start of a stream); the caller bounds the
// total before decoding.
class MemoryOutput : public StreamOutput {
public:
    std::span<std::uint8_t> Reserve(std::size_t count) override;
    bool Commit(std::size_t count) override;
    std::vector<std::uint8_t> bytes;

private:
    std::size_t used_ = 0;
};

// One compressed block of a source.
struct EncodedBlock {
    std::uint64_t offset = 0;  // of its first compressed byte in the source
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t compression = 0;
    // LZMA only: an 8-byte size follows the 5 property bytes (the "LZMA-alone" header of a
    // "UnityWeb" stream); it must be the declared size or "unknown".
    bool lzmaSizeField = false;
    std::u16string what;  // names the block at the start of a message: "Block 3", "The blocks info"
};

// Buffers that one decoding thread reuses from block to block.
struct DecodeBuffers {
    std::vector<std::uint8_t> input;
};

// Decodes `block` from `source` into `output`. The block must decode from exactly its compressed
// bytes to exactly its uncompressed size; a stream that ends early, runs long or is damaged is
// refused with a message that names the block. With `limit` below the block's size only the
// first `limit` bytes are decoded and the end is not checked.
Outcome DecodeBlock(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                    DecodeBuffers& buffers, const std::stop_token& stop = {},
                    std::uint64_t limit = ~std::uint64_t{0});

// True when this build writes blocks of `compression`: always stored; LZ4, LZ4HC and LZMA unless
// the program was built without that codec (the Windows installer program may be).
bool CanEncode(Compression compression);

// Compresses `input` into `out` as one block (the LZMA form with its 5 property bytes); for the
// blocks info and other small inputs, and for each LZ4 block of a bundle.
Outcome EncodeBlock(Compression compression, std::span<const std::uint8_t> input,
                    std::vector<std::uint8_t>& out);

// Compresses one long LZMA block without holding it: `pull` fills the span it is given with the
// next input bytes and returns how many (0 at the end, which must come after `length` bytes);
// `push` takes output in order. Returns the compressed size through `written`.
Outcome EncodeLzmaStream(std::uint64_t length,
                         const std::function<bool(std::span<std::uint8_t>)>& pull,
                         const std::function<bool(std::span<const std::uint8_t>)>& push,
                         std::uint64_t& written, const std::stop_token& stop = {});

}  // namespace kestrova::bundle
