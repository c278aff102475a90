// The bundle container: which reader a file's signature chooses, and what every kind shares.

#include "document/bundle/bundle_archive.h"

#include <algorithm>

#include "common/text.h"
#include "document/asset_format.h"
#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle {

using detail::Bytes;

std::u16string BundleArchive::kindName() const {
    switch (kind) {
        case BundleKind::UnityFS:
            return u"UnityFS";
        case BundleKind::UnityWeb:
            return u"UnityWeb";
        case BundleKind::UnityRaw:
            return u"UnityRaw";
    }
    return {};
}

EncodedBlock BundleArchive::Encoded(std::size_t index) const {
    const BundleBlock& b = blocks[index];
    EncodedBlock encoded;
    encoded.offset = b.fileOffset;
    encoded.compressedSize = b.compressedSize;
    encoded.uncompressedSize = b.uncompressedSize;
    encoded.compression = b.compression();
    encoded.lzmaSizeField = kind == BundleKind::UnityWeb;
    encoded.what = u"Block " + DecimalText(static_cast<std::int64_t>(index));
    return encoded;
}

bool LooksLikeBundle(std::span<const std::uint8_t> start) {
    const std::string signature = ReadSignature(start);
    return signature == kUnityFsSignature || signature == kUnityWebSignature ||
           signature == kBundleSignature;
}

Outcome CheckNodeRanges(const BundleArchive& archive) {
    for (std::size_t i = 0; i < archive.nodes.size(); ++i) {
        const BundleNode& node = archive.nodes[i];
        if (node.offset > archive.streamLength || node.size > archive.streamLength - node.offset) {
            return Outcome::Failure(u"Node " + DecimalText(static_cast<std::int64_t>(i)) + u" (" +
                                    Latin1ToUtf16(node.path) + u", " + Bytes(node.size) + u" at " +
                                    DecimalText(static_cast<std::int64_t>(node.offset)) +
                                    u") lies outside the bundle's data (" +
                                    Bytes(archive.streamLength) + u").");
        }
    }
    return Outcome::Success();
}

Outcome ReadBundleArchive(const ByteSource& source, BundleArchive& archive) {
    archive = BundleArchive{};
    archive.fileSize = source.size();
    std::vector<std::uint8_t> start;
    ReadRange(source, 0, std::min<std::uint64_t>(source.size(), 16), start);
    const std::string signature = ReadSignature(start);
    Outcome outcome;
    if (signature == kUnityFsSignature) {
        outcome = ReadUnityFs(source, archive);
    } else if (signature == kUnityWebSignature) {
        outcome = ReadUnityWeb(source, archive);
    } else if (signature == kBundleSignature) {
        outcome = ReadUnityRaw(source, archive);
    } else {
        return Outcome::Failure(
            u"The file is not a bundle (it does not begin with \"UnityFS\", "
            u"\"UnityWeb\" or \"UnityRaw\").");
    }
    if (outcome) {
        outcome = CheckNodeRanges(archive);
    }
    return outcome;
}

}  // namespace kestrova::bundle
