#include "document/bundle/bundle_document.h"

#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "document/asset_format.h"
#include "document/bundle/codecs_internal.h"
#include "document/bundle/data_stream.h"
#include "document/range_writer.h"
#include "document/serialized_file.h"

namespace kestrova::bundle {

using detail::Bytes;

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsSerializedNode(const BundleArchive& archive, const BundleNode& node) {
    if (archive.kind == BundleKind::UnityFS) {
        return (node.flags & kNodeSerialized) != 0;
    }
    return !EndsWith(node.path, ".resS") && !EndsWith(node.path, ".resource");
}

Outcome ReadArchive(const std::u16string& path, FileSource& source, BundleArchive& archive) {
    if (!source.Open(path)) {
        return Outcome::Failure(u"Cannot read the file " + path + u".");
    }
    return ReadBundleArchive(source, archive);
}

// The node the document opens: the one named, or the only serialized one.
Outcome ChooseMember(const BundleArchive& archive, const std::optional<std::string>& name,
                     std::size_t& index) {
    const std::vector<BundleNode> members = SerializedMembers(archive);
    if (name) {
        for (std::size_t i = 0; i < archive.nodes.size(); ++i) {
            if (archive.nodes[i].path == *name) {
                index = i;
                return Outcome::Success();
            }
        }
        return Outcome::Failure(u"The bundle holds no file named " + Latin1ToUtf16(*name) +
                                u"; its serialized files: " + MemberList(members) + u".");
    }
    if (members.empty()) {
        return Outcome::Failure(
            u"The bundle holds no serialized file (kestrova-cli bundle "
            u"extract takes its files out).");
    }
    if (members.size() > 1) {
        return Outcome::Failure(u"The bundle holds several serialized files: " +
                                MemberList(members) + u". Choose one of them.");
    }
    for (std::size_t i = 0; i < archive.nodes.size(); ++i) {
        if (archive.nodes[i] == members.front()) {
            index = i;
        }
    }
    return Outcome::Success();
}

// The member is rewritten by every change that resizes it: the other nodes must lie wholly before
// or after it.
Outcome CheckMemberAlone(const BundleArchive& archive, std::size_t index) {
    const BundleNode& member = archive.nodes[index];
    for (std::size_t i = 0; i < archive.nodes.size(); ++i) {
        const BundleNode& node = archive.nodes[i];
        if (i != index && node.size > 0 && node.offset < member.offset + member.size &&
            member.offset < node.offset + node.size) {
            return Outcome::Failure(u"The bundle's file " + Latin1ToUtf16(node.path) +
                                    u" overlaps its serialized file " + Latin1ToUtf16(member.path) +
                                    u".");
        }
    }
    return Outcome::Success();
}

// Reads member `index` of the decompressed stream in `streamPath` into `fresh`.
Outcome ReadMember(AssetFile& fresh, const BundleArchive& archive, std::size_t index,
                   const std::u16string& streamPath, const ProgressCallback& progress) {
    const BundleNode& node = archive.nodes[index];
    MappedFile map;
    if (node.size == 0 || !map.Open(streamPath) || map.size() != archive.streamLength) {
        return Outcome::Failure(u"The bundle's file " + Latin1ToUtf16(node.path) +
                                u" is empty or cannot be read.");
    }
    map.AdviseRandom();
    const auto span = map.bytes().subspan(static_cast<std::size_t>(node.offset),
                                          static_cast<std::size_t>(node.size));
    if (Outcome o = ReadSerializedFile(fresh, span, progress); !o) {
        return Outcome::Failure(Latin1ToUtf16(node.path) + u": " + o.message);
    }
    return Outcome::Success();
}

Outcome LoadCompressed(AssetFile& doc, const std::u16string& path,
                       const std::optional<std::string>& name, const ProgressCallback& progress,
                       const std::stop_token& stop) {
    if (progress) {
        progress(u"Reading Header", 0.0f);
    }
    FileSource source;
    BundleArchive archive;
    if (Outcome o = ReadArchive(path, source, archive); !o) {
        return o;
    }
    std::size_t index = 0;
    if (Outcome o = ChooseMember(archive, name, index); !o) {
        return o;
    }
    if (Outcome o = CheckMemberAlone(archive, index); !o) {
        return o;
    }
    if (!platform::CreateDirectory(doc.workingFolder) && !platform::FileExists(doc.workingFolder)) {
        return Outcome::Failure(u"Cannot create the working folder " + doc.workingFolder + u".");
    }
    AssetFile fresh;
    fresh.workingFolder = doc.workingFolder;
    fresh.documentName = path;
    // The bundle itself is kept beside the working copy, to rebuild from when saving.
    RangeWriter original;
    if (!original.CreateBeside(fresh.OriginalBundlePath()) ||
        !source.CopyTo(original, 0, 0, source.size())) {
        return Outcome::Failure(u"Cannot copy the bundle into the working folder: " +
                                original.error());
    }
    const std::u16string stream = doc.workingFolder + platform::kSeparator + u"stream.load";
    if (Outcome o = ExtractDataStream(source, archive, stream, progress, stop); !o) {
        return o;
    }
    Outcome outcome = ReadMember(fresh, archive, index, stream, progress);
    if (outcome && !original.Commit(source.size())) {
        outcome =
            Outcome::Failure(u"Cannot keep the bundle in the working folder: " + original.error());
    }
    if (outcome && !platform::ReplaceFile(stream, fresh.WorkingCopyPath())) {
        outcome =
            Outcome::Failure(u"Cannot make the working copy " + fresh.WorkingCopyPath() + u".");
    }
    if (!outcome) {
        platform::DeleteFile(stream);
        return outcome;
    }
    fresh.innerStart = archive.nodes[index].offset;
    fresh.serializedLength = archive.nodes[index].size;
    fresh.workingLength = archive.streamLength;
    fresh.compressed.emplace();
    fresh.compressed->nodes = archive.nodes;
    fresh.compressed->member = index;
    fresh.documentName = path.substr(FileNameStart(path));
    doc = std::move(fresh);
    if (progress) {
        progress(u"Ready", 0.0f);
    }
    return Outcome::Success();
}

// A "UnityWeb" bundle's layout as a "UnityFS" one of format 6: the same nodes (serialized ones
// flagged so), its blocks info compressed with LZ4HC after the header.
BundleArchive AsUnityFs(const BundleArchive& web) {
    BundleArchive fs;
    fs.kind = BundleKind::UnityFS;
    fs.format = 6;
    fs.playerVersion = "5.x.x";
    fs.engineRevision = web.engineRevision;
    fs.flags = kInfoWithDirectory | static_cast<std::uint32_t>(Compression::Lz4hc);
    fs.blocks = web.blocks;
    fs.streamLength = web.streamLength;
    fs.nodes = web.nodes;
    return fs;
}

}  // namespace

bool IsCompressedBundle(const std::u16string& path) {
    FileSource source;
    std::vector<std::uint8_t> start;
    if (!source.Open(path)) {
        return false;
    }
    ReadRange(source, 0, std::min<std::uint64_t>(source.size(), 16), start);
    const std::string signature = ReadSignature(start);
    return signature == kUnityFsSignature || signature == kUnityWebSignature;
}

std::vector<BundleNode> SerializedMembers(const BundleArchive& archive) {
    std::vector<BundleNode> members;
    for (const BundleNode& node : archive.nodes) {
        if (IsSerializedNode(archive, node)) {
            members.push_back(node);
        }
    }
    return members;
}

Outcome ReadBundleMembers(const std::u16string& path, std::vector<BundleNode>& members) {
    FileSource source;
    BundleArchive archive;
    if (Outcome o = ReadArchive(path, source, archive); !o) {
        return o;
    }
    members = SerializedMembers(archive);
    return Outcome::Success();
}

std::u16string MemberList(const std::vector<BundleNode>& members) {
    std::u16string list;
    for (const BundleNode& node : members) {
        if (!list.empty()) {
            list += u", ";
        }
        list += Latin1ToUtf16(node.path) + u" (" + Bytes(node.size) + u")";
    }
    return list;
}

Outcome LoadDocument(AssetFile& doc, const std::u16string& path,
                     const std::optional<std::string>& member, const ProgressCallback& progress,
                     const std::stop_token& stop) {
    if (IsCompressedBundle(path)) {
        return LoadCompressed(doc, path, member, progress, stop);
    }
    if (member) {
        return Outcome::Failure(
            u"The file is not a compressed bundle, so it has no members to "
            u"choose from.");
    }
    Outcome o = LoadAssetFile(doc, path, progress, stop);
    if (o) {
        // A bundle opened before kept its original here.
        platform::DeleteFile(doc.OriginalBundlePath());
    }
    return o;
}

Outcome SaveDocumentAs(const AssetFile& doc, const std::u16string& target,
                       ChosenCompression compression, const ProgressCallback& progress,
                       const std::stop_token& stop) {
    if (!doc.compressed) {
        if (compression != ChosenCompression::AsOriginal) {
            return Outcome::Failure(u"A compression is chosen only for a compressed bundle; " +
                                    doc.documentName + u" is not one.");
        }
        return SaveWorkingCopyAs(doc, target, progress, stop);
    }
    FileSource source;
    BundleArchive archive;
    if (Outcome o = ReadArchive(doc.OriginalBundlePath(), source, archive); !o) {
        return Outcome::Failure(u"The bundle kept in the working folder cannot be read: " +
                                o.message);
    }
    const CompressedMember& member = *doc.compressed;
    BundleWrite request;
    request.original = &archive;
    request.originalSource = &source;
    request.dataStream = doc.WorkingCopyPath();
    request.nodes = member.nodes;
    request.changed.emplace();
    if (member.changed()) {
        // Every edit lies in the member; the nodes after it hold the original's bytes, moved by
        // the member's change of length.
        const BundleNode& now = member.nodes[member.member];
        const std::uint64_t memberEnd = now.offset + now.size;
        const std::uint64_t end = std::min(member.changedEnd, memberEnd);
        if (end > member.changedStart) {
            request.changed->push_back({member.changedStart, end - member.changedStart});
        }
        if (member.member < archive.nodes.size()) {
            request.tailFrom = memberEnd;
            request.tailShift = static_cast<std::int64_t>(now.size) -
                                static_cast<std::int64_t>(archive.nodes[member.member].size);
        }
    }
    request.compression = compression;
    BundleArchive rebuilt;
    const bool asOriginal =
        compression == ChosenCompression::AsOriginal || compression == ChosenCompression::Lzma;
    if (archive.kind == BundleKind::UnityWeb && (member.changed() || !asOriginal)) {
        rebuilt = AsUnityFs(archive);
        for (BundleNode& node : request.nodes) {
            if (IsSerializedNode(archive, node)) {
                node.flags |= kNodeSerialized;
            }
        }
        request.original = &rebuilt;
        request.originalSource = nullptr;
        if (compression == ChosenCompression::AsOriginal) {
            request.compression = ChosenCompression::Lzma;
        }
    }
    return WriteBundle(request, target, progress, stop);
}

}  // namespace kestrova::bundle
