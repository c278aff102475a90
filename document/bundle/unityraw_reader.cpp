// The "UnityRaw" reader for the bundle layer: the header of formats 1-3 with its directory, read
// as the document reads it; the data after headerSize is one stored block.

#include "document/bundle/bundle_archive.h"
#include "document/bundle/legacy_header.h"

namespace kestrova::bundle {

Outcome ReadUnityRaw(const ByteSource& source, BundleArchive& archive) {
    archive.kind = BundleKind::UnityRaw;
    if (Outcome o = detail::ReadLegacyHeader(source, archive, true); !o) {
        return o;
    }
    BundleBlock block;
    block.fileOffset = archive.dataStart;
    block.compressedSize = source.size() - archive.dataStart;
    block.uncompressedSize = block.compressedSize;
    block.flags = static_cast<std::uint16_t>(Compression::Stored);
    archive.blocks = {block};
    archive.streamLength = block.uncompressedSize;
    detail::TakeDirectory(archive);
    return Outcome::Success();
}

}  // namespace kestrova::bundle
