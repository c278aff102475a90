#include "document/bundle/legacy_header.h"

#include <algorithm>

#include "sdk/byte_reader.h"
#include "common/text.h"
#include "document/asset_format.h"

namespace kestrova::bundle::detail {

namespace {

// The header is read from the file's first bytes: 64 KiB, more when its levels or directory
// need it, never more than 64 MiB.
constexpr std::uint64_t kFirstRead = std::uint64_t{64} << 10;
constexpr std::uint64_t kMostRead = std::uint64_t{64} << 20;

}  // namespace

Outcome ReadLegacyHeader(const ByteSource& source, BundleArchive& archive, bool withDirectory) {
    const bool web = archive.kind == BundleKind::UnityWeb;
    const std::string_view signature = web ? kUnityWebSignature : kBundleSignature;
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t limit = kFirstRead;; limit *= 16) {
        const std::uint64_t n = std::min(source.size(), limit);
        ReadRange(source, 0, n, bytes);
        InitBundleHeader(archive.legacy, signature);
        ByteReader reader(bytes);
        reader.Skip(signature.size() + 1);
        Outcome o = withDirectory ? ReadBundleHeader(archive.legacy, reader)
                                  : ReadBundleHeaderFields(archive.legacy, reader);
        if (o || n == source.size() || limit >= kMostRead) {
            if (!o) {
                return o;
            }
            break;
        }
    }
    archive.format = archive.legacy.bundleFormat;
    archive.playerVersion = archive.legacy.playerVersion;
    archive.engineRevision = archive.legacy.engineRevision;
    archive.headerEnd = archive.legacy.headerEnd;
    if (archive.legacy.headerSize > source.size()) {
        return Outcome::Failure(u"The bundle's header size (" +
                                DecimalText(archive.legacy.headerSize) +
                                u") lies beyond the end of the file.");
    }
    archive.dataStart = archive.legacy.headerSize;
    return Outcome::Success();
}

void TakeDirectory(BundleArchive& archive) {
    archive.nodes.clear();
    archive.nodes.reserve(archive.legacy.directory.size());
    for (const BundleDirectoryEntry& entry : archive.legacy.directory) {
        archive.nodes.push_back({entry.offset, entry.size, 0, entry.name});
    }
}

}  // namespace kestrova::bundle::detail
