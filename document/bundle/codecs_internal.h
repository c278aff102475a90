#pragma once
// The codecs behind DecodeBlock and EncodeBlock, one file each; used only by codec.cpp.

#include "document/bundle/codec.h"

namespace kestrova::bundle::detail {

Outcome DecodeLz4(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                  DecodeBuffers& buffers, std::uint64_t limit);
Outcome EncodeLz4(bool high, std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out);

Outcome DecodeLzma(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                   DecodeBuffers& buffers, const std::stop_token& stop, std::uint64_t limit);

// LZMA blocks, whichever library decodes them: reads the 5 property bytes (and checks the 8-byte
// size of a block with `lzmaSizeField`) and gives where the stream begins.
Outcome ReadLzmaHeader(const ByteSource& source, const EncodedBlock& block,
                       std::span<std::uint8_t, 5> props, std::uint64_t& streamStart);

// The window to decode a block with: its declared dictionary, but no larger than the block (no
// block needs more) nor smaller than 4 KiB; refused when above what Kestrova accepts (512 MiB).
Outcome LzmaWindow(const EncodedBlock& block, std::uint64_t dictionary, std::uint32_t& window);

// Sizes in messages.
std::u16string Bytes(std::uint64_t count);

}  // namespace kestrova::bundle::detail
