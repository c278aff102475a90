// The "UnityWeb" reader: the header of formats 1-3, then one LZMA stream ("LZMA-alone": 5
// property bytes and an 8-byte size) whose decompressed data begins with the directory.

#include <algorithm>

#include "sdk/byte_reader.h"
#include "common/text.h"
#include "document/asset_format.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/codecs_internal.h"
#include "document/bundle/legacy_header.h"

namespace kestrova::bundle {

namespace {

// The directory is decoded from the start of the stream: 4 KiB (or the size the header gives
// it), more when it needs it, never more than 64 MiB.
constexpr std::uint64_t kFirstDecode = 4096;
constexpr std::uint64_t kMostDecode = std::uint64_t{64} << 20;

}  // namespace

Outcome ReadUnityWeb(const ByteSource& source, BundleArchive& archive) {
    archive.kind = BundleKind::UnityWeb;
    if (Outcome o = detail::ReadLegacyHeader(source, archive, false); !o) {
        return o;
    }
    const BundleHeader& header = archive.legacy;
    if (header.levels.empty()) {
        return Outcome::Failure(u"The bundle's header lists no levels, so its data has no size.");
    }
    // The last level's words are the whole stream's compressed and decompressed sizes.
    BundleBlock block;
    block.compressedSize = header.levels.back().first;
    block.uncompressedSize = header.levels.back().second;
    block.flags = static_cast<std::uint16_t>(Compression::Lzma);
    block.fileOffset = archive.dataStart;
    if (!source.Contains(block.fileOffset, block.compressedSize)) {
        return Outcome::Failure(
            u"The bundle's compressed data (" + detail::Bytes(block.compressedSize) + u" at byte " +
            DecimalText(header.headerSize) + u") runs past the end of the file (" +
            detail::Bytes(source.size()) + u").");
    }
    archive.blocks = {block};
    archive.streamLength = block.uncompressedSize;

    DecodeBuffers buffers;
    std::uint64_t length = std::min<std::uint64_t>(
        archive.streamLength, std::max<std::uint64_t>(kFirstDecode, header.infoHeaderSize));
    for (;;) {
        MemoryOutput start;
        if (Outcome o = DecodeBlock(source, archive.Encoded(0), start, buffers, {}, length); !o) {
            return o;
        }
        ByteReader reader(start.bytes);
        Outcome o = ReadBundleDirectory(archive.legacy, reader);
        if (o) {
            break;
        }
        if (length >= archive.streamLength || length >= kMostDecode) {
            return o;
        }
        length = std::min(archive.streamLength, length * 16);
    }
    detail::TakeDirectory(archive);
    return Outcome::Success();
}

}  // namespace kestrova::bundle
