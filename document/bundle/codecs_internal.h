#pragma once
// The codecs behind DecodeBlock and EncodeBlock, one file each; used only by codec.cpp.

#include "document/bundle/codec.h"

namespace kestrova::bundle::detail {

Outcome DecodeLz4(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                  DecodeBuffers& buffers, std::uint64_t limit);
Outcome EncodeLz4(bool high, std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out);

Outcome DecodeLzma(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                   DecodeBuffers& buffers, const std::stop_token& stop, std::uint64_t limit);

// Sizes in messages.
std::u16string Bytes(std::uint64_t count);

}  // namespace kestrova::bundle::detail
