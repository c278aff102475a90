#pragma once
// Reading and writing the little-endian records of an asset body. Every read of body bytes goes
// through BodyReader, which never reads outside its span and refuses a read that does not fit.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::plugin {

using ByteSpan = std::span<const std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

class BodyReader {
public:
    explicit BodyReader(ByteSpan bytes) : bytes_(bytes) {}

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }

    bool ReadLittleEndian16(std::uint16_t& value);
    bool ReadLittleEndian32(std::uint32_t& value);
    // The next `count` bytes, moving past them; false, and nothing moved, when fewer remain.
    bool Take(std::uint64_t count, ByteSpan& out);
    // The next `count` bytes, or as many as remain when fewer do.
    ByteSpan TakeAtMost(std::uint64_t count);
    ByteSpan TakeRest() { return TakeAtMost(remaining()); }

private:
    ByteSpan bytes_;
    std::size_t position_ = 0;
};

void AppendLittleEndian32(Bytes& out, std::uint32_t value);
void Append(Bytes& out, ByteSpan bytes);
std::uint32_t LittleEndian32At(ByteSpan bytes, std::size_t offset);  // caller checks the bounds

// Zero bytes that bring `length` up to a multiple of 4.
constexpr std::size_t PaddingFor(std::uint64_t length) {
    return static_cast<std::size_t>((4 - length % 4) % 4);
}

// How an asset body stores a text or an embedded file: a 32-bit length, that many bytes, then
// zero bytes up to a multiple of 4. The views point into the body that was read.
struct AlignedBlock {
    ByteSpan bytes;
    // The padding as stored. It may be cut short when the body ends inside it; such a body is
    // still read, and written back unchanged while the block keeps its length.
    ByteSpan padding;
};

// Reads a block at the reader's position. A length word that is missing or a length beyond the
// body is refused before anything is read; `error` then says so, naming the block `what`.
bool ReadAlignedBlock(BodyReader& reader, std::string_view what, AlignedBlock& block,
                      std::string& error);

// Appends `bytes` as a block that replaces `stored`: with the stored padding while the length
// stays as it was (so an unchanged body is written back byte for byte), else with zero padding
// rebuilt for the new length. Throws std::length_error for more bytes than a length word holds.
void AppendAlignedBlock(Bytes& out, ByteSpan bytes, const AlignedBlock& stored);

}  // namespace kestrova::plugin
