#pragma once
// Compresses a data stream into a scratch file, block by block: LZ4 and LZ4HC blocks on every
// core (each thread takes the next block, the calling thread writes them in order), LZMA and
// stored blocks streamed on the calling thread. Used by the bundle writer.

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/bundle/byte_source.h"
#include "document/bundle/codec.h"

namespace kestrova::bundle::detail {

struct PlannedBlock {
    std::uint64_t streamOffset = 0;
    std::uint64_t size = 0;
    // The original's compressed block with the same bytes, copied instead of compressed.
    std::optional<EncodedBlock> reuse;
};

struct CompressJob {
    const ByteSource* input = nullptr;  // the data stream
    Compression compression = Compression::Lz4hc;
    std::vector<PlannedBlock> blocks;
    const ByteSource* original = nullptr;  // where reused blocks are read from
    unsigned threads = 1;
};

// One per core; 1 where the program has no threads.
unsigned CompressionThreads();

// Writes the compressed blocks one after another from position 0 of `output` and returns each
// block's compressed size.
Outcome CompressBlocks(const CompressJob& job, RangeWriter& output,
                       std::vector<std::uint64_t>& compressedSizes,
                       const ProgressCallback& progress, const std::stop_token& stop);

}  // namespace kestrova::bundle::detail
