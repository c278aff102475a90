#pragma once
// A bundle as a container: its kind and header, its blocks (compressed pieces of one data stream)
// and its nodes (the files inside, as ranges of the data stream). Three kinds are read, each by
// a reader of its own that recognises its header: "UnityFS" (formats 6-8, blocks compressed one
// by one), "UnityWeb" (one LZMA stream) and "UnityRaw" (stored, formats 1-3).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/bundle/byte_source.h"
#include "document/bundle/codec.h"

namespace kestrova::bundle {

enum class BundleKind { UnityFS, UnityWeb, UnityRaw };

inline constexpr std::string_view kUnityFsSignature = "UnityFS";
inline constexpr std::string_view kUnityWebSignature = "UnityWeb";

// The header flags of a "UnityFS" bundle beside its blocks info's compression (the low six bits).
inline constexpr std::uint32_t kInfoWithDirectory = 0x40;
inline constexpr std::uint32_t kInfoAtEnd = 0x80;
inline constexpr std::uint32_t kPadAfterInfo = 0x200;
// A block's flag beside its compression.
inline constexpr std::uint16_t kBlockStreamed = 0x40;
// Node flags.
inline constexpr std::uint32_t kNodeDirectory = 1;
inline constexpr std::uint32_t kNodeDeleted = 2;
inline constexpr std::uint32_t kNodeSerialized = 4;

struct BundleBlock {
    std::uint64_t uncompressedSize = 0;
    std::uint64_t compressedSize = 0;
    std::uint16_t flags = 0;
    std::uint64_t fileOffset = 0;    // of its compressed bytes in the bundle file
    std::uint64_t streamOffset = 0;  // of its decompressed bytes in the data stream
    std::uint32_t compression() const { return flags & kCompressionMask; }
};

using kestrova::BundleNode;

struct BundleArchive {
    BundleKind kind = BundleKind::UnityFS;
    std::uint32_t format = 0;
    std::string playerVersion;
    std::string engineRevision;
    std::uint64_t fileSize = 0;

    // "UnityFS": the header's sizes and flags, the blocks info's hash, where the blocks info lies
    // and whether it (and the data) start at a multiple of 16.
    std::uint64_t totalSize = 0;
    std::uint32_t infoCompressedSize = 0;
    std::uint32_t infoUncompressedSize = 0;
    std::uint32_t flags = 0;
    std::array<std::uint8_t, 16> infoHash{};
    std::uint64_t headerEnd = 0;
    std::uint64_t infoStart = 0;
    bool infoAligned = false;

    // "UnityWeb" and "UnityRaw": the header as the document reads it (levels, sizes).
    BundleHeader legacy;

    std::uint64_t dataStart = 0;     // of the first block in the file
    std::uint64_t streamLength = 0;  // the sum of the blocks' decompressed sizes
    std::vector<BundleBlock> blocks;
    std::vector<BundleNode> nodes;

    std::u16string kindName() const;
    // The block in the form the codecs take, named "block N" in messages.
    EncodedBlock Encoded(std::size_t index) const;
};

// True when the bytes begin with the signature of a bundle kind read here.
bool LooksLikeBundle(std::span<const std::uint8_t> start);

// Reads the header, the blocks and the nodes of the bundle in `source`; for a "UnityWeb" bundle
// the directory at the start of its stream is decoded for the nodes. Everything is checked
// against the file: sizes, offsets, compressions, node ranges inside the data stream. A refusal
// says what is wrong.
Outcome ReadBundleArchive(const ByteSource& source, BundleArchive& archive);

// The readers behind it, one per kind; `start` holds the file's first bytes.
Outcome ReadUnityFs(const ByteSource& source, BundleArchive& archive);
Outcome ReadUnityWeb(const ByteSource& source, BundleArchive& archive);
Outcome ReadUnityRaw(const ByteSource& source, BundleArchive& archive);

// Checks that every node lies inside the data stream; the message names the first that does not.
Outcome CheckNodeRanges(const BundleArchive& archive);

}  // namespace kestrova::bundle
