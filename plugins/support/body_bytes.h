#pragma once
// The bytes of an asset body as the plug-ins name them, and the aligned blocks (a text, an
// embedded file) that bodies store. Every read of body bytes goes through the plug-in interface's
// ByteReader, which never reads outside its span and refuses a read that does not fit.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/byte_reader.h"

namespace kestrova::plugin {

using ByteSpan = std::span<const std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

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
bool ReadAlignedBlock(ByteReader& reader, std::string_view what, AlignedBlock& block,
                      std::string& error);

// Appends `bytes` as a block that replaces `stored`: with the stored padding while the length
// stays as it was (so an unchanged body is written back byte for byte), else with zero padding
// rebuilt for the new length. Throws std::length_error for more bytes than a length word holds.
void AppendAlignedBlock(Bytes& out, ByteSpan bytes, const AlignedBlock& stored);

}  // namespace kestrova::plugin
