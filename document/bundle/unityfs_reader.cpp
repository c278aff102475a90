// The "UnityFS" reader (formats 6, 7 and 8): the header, then the blocks info (compressed or not,
// after the header or at the end of the file, at a multiple of 16 or not), which lists the blocks
// and the nodes.

#include <algorithm>

#include "sdk/byte_reader.h"
#include "common/text.h"
#include "document/asset_format.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle {

using detail::Bytes;

namespace {

// The signature, the format, two texts of at most 256 bytes and the sizes fit in this.
constexpr std::uint64_t kHeaderBytes = 1024;
// The blocks info is read into memory; engine bundles keep it in kilobytes.
constexpr std::uint32_t kMaxInfoSize = 64u << 20;
constexpr std::size_t kBlockRecord = 10;
constexpr std::size_t kSmallestNode = 21;  // two 64-bit words, flags, an empty path

std::uint64_t Align16(std::uint64_t n) {
    return (n + 15) & ~std::uint64_t{15};
}

std::u16string Number(std::uint64_t n) {
    return DecimalText(static_cast<std::int64_t>(n));
}

Outcome TooShort(const char16_t* what) {
    return Outcome::Failure(std::u16string(u"The file ends inside the bundle header (") + what +
                            u").");
}

Outcome ReadHeader(const ByteSource& source, BundleArchive& archive) {
    std::vector<std::uint8_t> bytes;
    ReadRange(source, 0, std::min(source.size(), kHeaderBytes), bytes);
    ByteReader reader(bytes);
    reader.Skip(kUnityFsSignature.size() + 1);
    if (!reader.ReadBigEndian32(archive.format)) {
        return TooShort(u"format");
    }
    if (archive.format < 6 || archive.format > 8) {
        return Outcome::Failure(u"UnityFS format " + Number(archive.format) +
                                u" is not supported (formats 6, 7 and 8 are).");
    }
    if (Outcome o = ReadBundleText(reader, archive.playerVersion, u"player version text"); !o) {
        return o;
    }
    if (Outcome o = ReadBundleText(reader, archive.engineRevision, u"engine revision text"); !o) {
        return o;
    }
    if (!reader.ReadBigEndian64(archive.totalSize) ||
        !reader.ReadBigEndian32(archive.infoCompressedSize) ||
        !reader.ReadBigEndian32(archive.infoUncompressedSize) ||
        !reader.ReadBigEndian32(archive.flags)) {
        return TooShort(u"sizes and flags");
    }
    archive.headerEnd = reader.position();
    if (archive.totalSize > source.size()) {
        return Outcome::Failure(u"The bundle is truncated: its header gives " +
                                Bytes(archive.totalSize) + u", the file has " +
                                Bytes(source.size()) + u".");
    }
    if (archive.infoUncompressedSize > kMaxInfoSize) {
        return Outcome::Failure(u"The bundle's blocks info declares " +
                                Bytes(archive.infoUncompressedSize) +
                                u", more than Kestrova reads.");
    }
    return CheckDecodable(archive.flags & kCompressionMask, u"The blocks info");
}

// Reads the blocks info's records: the hash, the blocks and the nodes.
Outcome ParseBlocksInfo(std::span<const std::uint8_t> info, BundleArchive& archive) {
    ByteReader reader(info);
    std::uint32_t count = 0;
    if (!reader.ReadBytes(archive.infoHash) || !reader.ReadBigEndian32(count)) {
        return Outcome::Failure(u"The blocks info is too short for its block count.");
    }
    if (count > reader.remaining() / kBlockRecord) {
        return Outcome::Failure(u"The blocks info's block count (" +
                                DecimalText(static_cast<std::int32_t>(count)) +
                                u") does not fit in it.");
    }
    archive.blocks.resize(count);
    for (BundleBlock& block : archive.blocks) {
        std::uint32_t uncompressed = 0;
        std::uint32_t compressed = 0;
        reader.ReadBigEndian32(uncompressed);
        reader.ReadBigEndian32(compressed);
        reader.ReadBigEndian16(block.flags);
        block.uncompressedSize = uncompressed;
        block.compressedSize = compressed;
    }
    if (!reader.ReadBigEndian32(count)) {
        return Outcome::Failure(u"The blocks info ends before its node count.");
    }
    if (count > reader.remaining() / kSmallestNode) {
        return Outcome::Failure(u"The blocks info's node count (" +
                                DecimalText(static_cast<std::int32_t>(count)) +
                                u") does not fit in it.");
    }
    archive.nodes.resize(count);
    for (std::size_t i = 0; i < archive.nodes.size(); ++i) {
        BundleNode& node = archive.nodes[i];
        reader.ReadBigEndian64(node.offset);
        reader.ReadBigEndian64(node.size);
        if (!reader.ReadBigEndian32(node.flags)) {
            return Outcome::Failure(u"The blocks info ends inside node " + Number(i) + u".");
        }
        std::span<const std::uint8_t> rest = reader.View(reader.remaining());
        auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
        if (end == rest.end()) {
            return Outcome::Failure(u"The path of node " + Number(i) +
                                    u" runs past the end of the blocks info.");
        }
        node.path.assign(rest.begin(), end);
        reader.Skip(node.path.size() + 1);
    }
    return Outcome::Success();
}

// Places the blocks from `dataStart`; they must end by `dataEnd`. `exact` tells whether they end
// exactly there, which is how the layout of a format-6 bundle is recognised.
Outcome PlaceBlocks(BundleArchive& archive, std::uint64_t dataEnd, bool& exact) {
    std::uint64_t file = archive.dataStart;
    std::uint64_t stream = 0;
    for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
        BundleBlock& block = archive.blocks[i];
        const std::u16string what = u"Block " + Number(i);
        if (Outcome o = CheckDecodable(block.compression(), what); !o) {
            return o;
        }
        block.fileOffset = file;
        block.streamOffset = stream;
        file += block.compressedSize;  // each below 2^32: no overflow in 64 bits
        stream += block.uncompressedSize;
        if (file > dataEnd) {
            return Outcome::Failure(what + u" (" + Bytes(block.compressedSize) + u" at byte " +
                                    Number(block.fileOffset) +
                                    u") runs past the end of the bundle's data (byte " +
                                    Number(dataEnd) + u").");
        }
    }
    archive.streamLength = stream;
    exact = file == dataEnd;
    return Outcome::Success();
}

// Reads the blocks info and the blocks for one layout: aligned or not.
Outcome ReadLayout(const ByteSource& source, BundleArchive& archive, bool aligned, bool& exact) {
    const std::uint64_t end = std::min(archive.totalSize, source.size());
    const std::uint64_t afterHeader = aligned ? Align16(archive.headerEnd) : archive.headerEnd;
    std::uint64_t dataEnd = end;
    archive.infoAligned = aligned;
    if ((archive.flags & kInfoAtEnd) != 0) {
        if (archive.infoCompressedSize > end - std::min(end, afterHeader)) {
            return Outcome::Failure(u"The bundle's blocks info (" +
                                    Bytes(archive.infoCompressedSize) +
                                    u") does not fit in the file.");
        }
        archive.infoStart = end - archive.infoCompressedSize;
        archive.dataStart = afterHeader;
        dataEnd = archive.infoStart;
    } else {
        archive.infoStart = afterHeader;
        archive.dataStart = afterHeader + archive.infoCompressedSize;
        if ((archive.flags & kPadAfterInfo) != 0) {
            archive.dataStart = Align16(archive.dataStart);
        }
    }
    EncodedBlock info;
    info.offset = archive.infoStart;
    info.compressedSize = archive.infoCompressedSize;
    info.uncompressedSize = archive.infoUncompressedSize;
    info.compression = archive.flags & kCompressionMask;
    info.what = u"The blocks info";
    MemoryOutput decoded;
    DecodeBuffers buffers;
    if (Outcome o = DecodeBlock(source, info, decoded, buffers); !o) {
        return o;
    }
    if (Outcome o = ParseBlocksInfo(decoded.bytes, archive); !o) {
        return o;
    }
    return PlaceBlocks(archive, dataEnd, exact);
}

}  // namespace

Outcome ReadUnityFs(const ByteSource& source, BundleArchive& archive) {
    archive.kind = BundleKind::UnityFS;
    if (Outcome o = ReadHeader(source, archive); !o) {
        return o;
    }
    // Formats 7 and 8 start the blocks info at a multiple of 16. Format 6 did not until late
    // engine versions: the layout whose blocks end exactly at the end of the data is the one.
    bool exact = false;
    BundleArchive aligned = archive;
    if (archive.format >= 7) {
        return ReadLayout(source, archive, true, exact);
    }
    Outcome plain = ReadLayout(source, archive, false, exact);
    if (plain && exact) {
        return plain;
    }
    bool alignedExact = false;
    Outcome second = ReadLayout(source, aligned, true, alignedExact);
    if (second && (alignedExact || !plain)) {
        archive = std::move(aligned);
        return second;
    }
    return plain;
}

}  // namespace kestrova::bundle
