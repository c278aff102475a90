#include "document/bundle/bundle_writer.h"

#include <algorithm>

#include "common/platform.h"
#include "common/text.h"
#include "document/bundle/block_compressor.h"
#include "document/bundle/codecs_internal.h"
#include "document/range_writer.h"
#include "sdk/byte_reader.h"

namespace kestrova::bundle {

using detail::Bytes;
using detail::PlannedBlock;

std::optional<ChosenCompression> ParseCompressionChoice(std::string_view text) {
    if (text == "stored") {
        return ChosenCompression::Stored;
    }
    if (text == "lz4") {
        return ChosenCompression::Lz4;
    }
    if (text == "lz4hc") {
        return ChosenCompression::Lz4hc;
    }
    if (text == "lzma") {
        return ChosenCompression::Lzma;
    }
    return std::nullopt;
}

Compression OriginalCompression(const BundleArchive& original) {
    Compression found = Compression::Stored;
    for (const BundleBlock& block : original.blocks) {
        const auto code = static_cast<Compression>(block.compression());
        if (code == Compression::Lzma) {
            return Compression::Lzma;
        }
        if (code == Compression::Lz4 || code == Compression::Lz4hc) {
            found = Compression::Lz4hc;
        }
    }
    return found;
}

namespace {

constexpr std::uint64_t kLargestWord = 0xFFFFFFFFu;

std::uint64_t Align16(std::uint64_t n) {
    return (n + 15) & ~std::uint64_t{15};
}

Compression Resolve(const BundleWrite& request) {
    switch (request.compression) {
        case ChosenCompression::Stored:
            return Compression::Stored;
        case ChosenCompression::Lz4:
            return Compression::Lz4;
        case ChosenCompression::Lz4hc:
            return Compression::Lz4hc;
        case ChosenCompression::Lzma:
            return Compression::Lzma;
        case ChosenCompression::AsOriginal:
            break;
    }
    return OriginalCompression(*request.original);
}

bool Touches(const std::vector<StreamRange>& ranges, std::uint64_t offset, std::uint64_t size) {
    return std::any_of(ranges.begin(), ranges.end(), [&](const StreamRange& r) {
        return r.offset < offset + size && offset < r.offset + r.length;
    });
}

// The original block that begins at `offset` of the original's stream, holds `size` bytes and
// has the compression `compression`, if there is one.
std::optional<EncodedBlock> OriginalBlockAt(const BundleArchive& original, std::uint64_t offset,
                                            std::uint64_t size, Compression compression) {
    auto same = std::lower_bound(
        original.blocks.begin(), original.blocks.end(), offset,
        [](const BundleBlock& b, std::uint64_t at) { return b.streamOffset < at; });
    if (same == original.blocks.end() || same->streamOffset != offset ||
        (size != 0 && same->uncompressedSize != size) ||
        same->compression() != static_cast<std::uint32_t>(compression)) {
        return std::nullopt;
    }
    return original.Encoded(static_cast<std::size_t>(same - original.blocks.begin()));
}

// Pieces of at most `blockSize` bytes over [from, to) of the new stream. A piece before `moved`
// whose bytes did not change and that has the same place, size and compression as an original
// block reuses that block's bytes.
void PlanPieces(const BundleWrite& request, std::uint64_t from, std::uint64_t to,
                std::uint64_t blockSize, Compression compression, std::uint64_t moved,
                std::vector<PlannedBlock>& blocks) {
    for (std::uint64_t offset = from; offset < to; offset += blockSize) {
        PlannedBlock block{offset, std::min(blockSize, to - offset), std::nullopt};
        if (offset + block.size <= moved && !Touches(*request.changed, offset, block.size)) {
            block.reuse = OriginalBlockAt(*request.original, offset, block.size, compression);
        }
        blocks.push_back(block);
    }
}

// The new blocks: equal pieces of the stream, except that after a range that changed length
// the pieces run up to the first original block moved whole, and from there on the original's
// blocks are kept as they were (their bytes only moved).
std::vector<PlannedBlock> PlanBlocks(const BundleWrite& request, std::uint64_t length,
                                     Compression compression) {
    const bool lz4 = compression == Compression::Lz4 || compression == Compression::Lz4hc;
    const std::uint64_t blockSize = lz4 ? kLz4BlockSize : kLargestBlock;
    const BundleArchive& original = *request.original;
    const bool reusable = request.changed && request.originalSource != nullptr &&
                          original.kind == BundleKind::UnityFS;
    std::vector<PlannedBlock> blocks;
    blocks.reserve(static_cast<std::size_t>((length + blockSize - 1) / blockSize));
    if (!reusable || !request.tailFrom || *request.tailFrom >= length) {
        PlanPieces(request, 0, length, blockSize, compression, reusable ? length : 0, blocks);
        return blocks;
    }
    const std::uint64_t tailFrom = *request.tailFrom;
    const auto shift = request.tailShift;
    // The first original block that lies wholly in the moved tail.
    auto first = std::lower_bound(
        original.blocks.begin(), original.blocks.end(), tailFrom,
        [shift](const BundleBlock& b, std::uint64_t at) {
            return static_cast<std::int64_t>(b.streamOffset) + shift <
                   static_cast<std::int64_t>(at);
        });
    const std::uint64_t kept = first == original.blocks.end()
                                   ? length
                                   : static_cast<std::uint64_t>(
                                         static_cast<std::int64_t>(first->streamOffset) + shift);
    std::uint64_t covered = std::min(kept, length);
    PlanPieces(request, 0, covered, blockSize, compression, shift == 0 ? covered : tailFrom,
               blocks);
    for (auto block = first; block != original.blocks.end() && covered < length; ++block) {
        const std::uint64_t at =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(block->streamOffset) + shift);
        if (at != covered) {
            break;  // the original's blocks do not tile its stream: compress the rest
        }
        const std::uint64_t size = std::min(block->uncompressedSize, length - at);
        PlannedBlock planned{at, size, std::nullopt};
        if (size == block->uncompressedSize) {
            planned.reuse = OriginalBlockAt(original, block->streamOffset, size, compression);
        }
        if (planned.reuse || size <= blockSize) {
            blocks.push_back(planned);
        } else {
            PlanPieces(request, at, at + size, blockSize, compression, 0, blocks);
        }
        covered = at + size;
    }
    PlanPieces(request, covered, length, blockSize, compression, 0, blocks);
    return blocks;
}

std::vector<std::uint8_t> BlocksInfo(const BundleArchive& original,
                                     const std::vector<PlannedBlock>& blocks,
                                     const std::vector<std::uint64_t>& compressedSizes,
                                     std::uint16_t blockFlags,
                                     const std::vector<BundleNode>& nodes) {
    std::vector<std::uint8_t> info(original.infoHash.begin(), original.infoHash.end());
    PutBigEndian32(info, static_cast<std::uint32_t>(blocks.size()));
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        PutBigEndian32(info, static_cast<std::uint32_t>(blocks[i].size));
        PutBigEndian32(info, static_cast<std::uint32_t>(compressedSizes[i]));
        PutBigEndian16(info, blockFlags);
    }
    PutBigEndian32(info, static_cast<std::uint32_t>(nodes.size()));
    for (const BundleNode& node : nodes) {
        PutBigEndian64(info, node.offset);
        PutBigEndian64(info, node.size);
        PutBigEndian32(info, node.flags);
        info.insert(info.end(), node.path.begin(), node.path.end());
        info.push_back(0);
    }
    return info;
}

std::vector<std::uint8_t> Header(const BundleArchive& original, std::uint64_t total,
                                 std::uint64_t infoCompressed, std::uint64_t infoUncompressed,
                                 std::uint32_t flags) {
    std::vector<std::uint8_t> header(kUnityFsSignature.begin(), kUnityFsSignature.end());
    header.push_back(0);
    PutBigEndian32(header, original.format);
    for (const std::string* text : {&original.playerVersion, &original.engineRevision}) {
        header.insert(header.end(), text->begin(), text->end());
        header.push_back(0);
    }
    PutBigEndian64(header, total);
    PutBigEndian32(header, static_cast<std::uint32_t>(infoCompressed));
    PutBigEndian32(header, static_cast<std::uint32_t>(infoUncompressed));
    PutBigEndian32(header, flags);
    return header;
}

Outcome CopyOriginal(const BundleWrite& request, const std::u16string& target) {
    RangeWriter writer;
    const std::uint64_t size = request.originalSource->size();
    if (!writer.CreateBeside(target) || !request.originalSource->CopyTo(writer, 0, 0, size) ||
        !writer.Commit(size)) {
        return Outcome::Failure(u"Cannot write " + target + u": " + writer.error());
    }
    return Outcome::Success();
}

}  // namespace

Outcome WriteBundle(const BundleWrite& request, const std::u16string& target,
                    const ProgressCallback& progress, const std::stop_token& stop) {
    const BundleArchive& original = *request.original;
    FileSource stream;
    if (!stream.Open(request.dataStream)) {
        return Outcome::Failure(u"Cannot read the bundle's data " + request.dataStream + u".");
    }
    BundleArchive layout;
    layout.streamLength = stream.size();
    layout.nodes = request.nodes;
    if (Outcome o = CheckNodeRanges(layout); !o) {
        return o;
    }
    const Compression compression = Resolve(request);
    const bool unchanged = request.changed && request.changed->empty() &&
                           request.originalSource != nullptr && request.nodes == original.nodes &&
                           stream.size() == original.streamLength &&
                           compression == OriginalCompression(original);
    if (unchanged) {
        return CopyOriginal(request, target);
    }
    if (original.kind != BundleKind::UnityFS) {
        return Outcome::Failure(u"Kestrova cannot yet rebuild a changed " + original.kindName() +
                                u" bundle.");
    }

    // The blocks go to a scratch file beside the target first: the blocks info in front of them
    // holds their compressed sizes.
    detail::CompressJob job;
    job.input = &stream;
    job.compression = compression;
    job.blocks = PlanBlocks(request, stream.size(), compression);
    job.original = request.originalSource;
    job.threads = request.threads != 0 ? request.threads : detail::CompressionThreads();
    RangeWriter scratch;
    if (!scratch.CreateBeside(target)) {
        return Outcome::Failure(u"Cannot create a file beside " + target + u": " + scratch.error());
    }
    std::vector<std::uint64_t> sizes;
    if (Outcome o = detail::CompressBlocks(job, scratch, sizes, progress, stop); !o) {
        return o;
    }
    std::uint64_t dataLength = 0;
    for (std::uint64_t size : sizes) {
        if (size > kLargestWord) {
            return Outcome::Failure(u"A block compresses to " + Bytes(size) +
                                    u", more than a bundle block can hold.");
        }
        dataLength += size;
    }

    const bool framed = compression == Compression::Stored || compression == Compression::Lzma;
    const auto blockFlags = static_cast<std::uint16_t>(static_cast<std::uint32_t>(compression) |
                                                       (framed ? kBlockStreamed : 0));
    const std::vector<std::uint8_t> info =
        BlocksInfo(original, job.blocks, sizes, blockFlags, request.nodes);
    const auto infoCompression = static_cast<Compression>(original.flags & kCompressionMask);
    std::vector<std::uint8_t> packedInfo;
    if (Outcome o = EncodeBlock(infoCompression, info, packedInfo); !o) {
        return o;
    }
    if (info.size() > kLargestWord || packedInfo.size() > kLargestWord) {
        return Outcome::Failure(u"The bundle's blocks info (" + Bytes(info.size()) +
                                u") is too large for its header.");
    }
    const std::uint32_t flags = (original.flags & ~kCompressionMask) | kInfoWithDirectory |
                                static_cast<std::uint32_t>(infoCompression);
    const std::uint64_t headerLength =
        Header(original, 0, packedInfo.size(), info.size(), flags).size();
    const std::uint64_t afterHeader = original.infoAligned ? Align16(headerLength) : headerLength;
    std::uint64_t infoStart = afterHeader;
    std::uint64_t dataStart = 0;
    std::uint64_t total = 0;
    if ((flags & kInfoAtEnd) != 0) {
        dataStart = afterHeader;
        infoStart = dataStart + dataLength;
        total = infoStart + packedInfo.size();
    } else {
        dataStart = infoStart + packedInfo.size();
        if ((flags & kPadAfterInfo) != 0) {
            dataStart = Align16(dataStart);
        }
        total = dataStart + dataLength;
    }

    FileSource scratchBytes;
    RangeWriter writer;
    // The scratch file is read back while its writer still holds it, and deleted with the writer.
    if (!scratchBytes.Open(scratch.path())) {
        return Outcome::Failure(u"Cannot read back the compressed data: " + scratch.error());
    }
    if (stop.stop_requested()) {
        return Cancelled();
    }
    if (!writer.CreateBeside(target) ||
        !writer.Write(0, Header(original, total, packedInfo.size(), info.size(), flags)) ||
        !writer.Write(infoStart, packedInfo) ||
        !scratchBytes.CopyTo(writer, 0, dataStart, dataLength) || !writer.Commit(total)) {
        return Outcome::Failure(u"Cannot write " + target + u": " + writer.error());
    }
    return Outcome::Success();
}

}  // namespace kestrova::bundle
