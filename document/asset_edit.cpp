// Changes to the working copy: a new body for one asset, adding and removing assets. Every
// change that alters the length of the file builds a complete new working copy first and
// changes the document in memory only after that copy has replaced the old one.

#include <algorithm>

#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "document/asset_format.h"
#include "document/range_writer.h"
#include "document/serialized_edit.h"
#include "document/working_copy_rewrite.h"

namespace kestrova {

namespace {

Outcome NoSuchAsset(const AssetFile& doc, std::uint32_t index) {
    return Outcome::Failure(u"There is no asset " + DecimalText(index) + u" (the file has " +
                            DecimalText(doc.entries.size()) + u" assets).");
}

std::vector<std::uint8_t> HeaderAndTable(const AssetFileHeader& header, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFileHeaderSize + kAssetRecordSize * count);
    WriteFileHeader(header, bytes);
    return bytes;
}

}  // namespace

Outcome ReplaceAssetBody(AssetFile& doc, std::uint32_t index, std::span<const std::uint8_t> body) {
    if (index >= doc.entries.size()) {
        return NoSuchAsset(doc, index);
    }
    const AssetEntry& entry = doc.entries[index];
    if (std::uint64_t{entry.prefixLength} + body.size() != entry.size) {
        return RewriteWorkingCopy(doc, index, body);
    }
    // Same length: only the body's bytes change, in place.
    const std::u16string path = doc.WorkingCopyPath();
    FileDescriptor fd = FileDescriptor::OpenForWriting(path);
    if (!fd.valid()) {
        return Outcome::Failure(u"Cannot open the working copy " + path + u": " +
                                SystemErrorText() + u".");
    }
    const std::uint64_t at = doc.DataBase() + entry.offset + entry.prefixLength;
    if (!WriteAt(fd.get(), at, body)) {
        return Outcome::Failure(u"Cannot write the working copy " + path + u": " +
                                SystemErrorText() + u".");
    }
    if (!fd.Reset()) {
        return Outcome::Failure(u"Cannot write the working copy " + path + u": " +
                                SystemErrorText() + u".");
    }
    if (doc.compressed) {
        doc.compressed->MarkChanged(at, at + body.size());
    }
    RereadNameInBody(doc, index, body);
    return Outcome::Success();
}

Outcome RewriteWorkingCopy(AssetFile& doc, std::uint32_t index,
                           std::span<const std::uint8_t> body) {
    if (index >= doc.entries.size()) {
        return NoSuchAsset(doc, index);
    }
    if (doc.metadata) {
        return ResizeLaterFormObject(doc, index, body);
    }
    const AssetEntry& changed = doc.entries[index];
    const std::uint64_t prefix = changed.prefixLength;
    const std::uint64_t newSize = prefix + body.size();
    if (newSize > kMaxFileLength) {
        return Outcome::Failure(u"The asset would grow beyond 4 GiB.");
    }
    const std::int64_t delta = static_cast<std::int64_t>(newSize) - changed.size;
    const std::uint64_t oldEnd = std::uint64_t{changed.offset} + changed.size;
    // The assets whose data lies after the changed asset's data move. When the changed asset is
    // empty, other empty assets at the same offset keep their table order.
    auto moves = [&](std::uint32_t k) {
        const AssetEntry& e = doc.entries[k];
        return k != index && (e.offset > oldEnd || (e.offset == oldEnd &&
                                                    (changed.size > 0 || e.size > 0 || k > index)));
    };

    const std::uint64_t base = doc.header.dataOffset;
    const std::size_t count = doc.entries.size();
    const std::uint64_t tableEnd = kFileHeaderSize + std::uint64_t{kAssetRecordSize} * count;
    // An empty asset may point into the header or the table; data written there would
    // overwrite them.
    if (newSize > 0 && base + changed.offset < tableEnd) {
        return Outcome::Failure(u"Asset " + DecimalText(index) +
                                u" lies inside the file header or the asset table; it cannot "
                                u"hold data there.");
    }
    std::vector<std::uint32_t> newOffsets(count);
    std::uint64_t newLength = tableEnd;
    for (std::uint32_t k = 0; k < count; ++k) {
        const AssetEntry& e = doc.entries[k];
        std::uint64_t offset = moves(k) ? static_cast<std::uint64_t>(e.offset + delta) : e.offset;
        if (offset > kMaxFileLength) {
            return Outcome::Failure(u"The asset file would grow beyond 4 GiB.");
        }
        newOffsets[k] = static_cast<std::uint32_t>(offset);
        newLength = std::max(newLength, base + offset + (k == index ? newSize : e.size));
    }

    AssetFileHeader header = doc.header;
    header.fileSize += static_cast<std::uint32_t>(delta);
    std::vector<std::uint8_t> front = HeaderAndTable(header, count);
    for (std::uint32_t k = 0; k < count; ++k) {
        AssetEntry record = doc.entries[k];
        record.offset = newOffsets[k];
        record.size = k == index ? static_cast<std::uint32_t>(newSize) : record.size;
        WriteAssetRecord(record, front);
    }

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    bool ok = rewrite.Write(0, front);
    if (base > tableEnd) {
        ok = ok && rewrite.Copy(tableEnd, tableEnd, base - tableEnd);  // the rest of the metadata
    }
    DataMover mover(rewrite);
    for (std::uint32_t k : DataOrder(doc)) {
        if (!ok) {
            break;
        }
        const AssetEntry& e = doc.entries[k];
        if (k != index) {
            ok = mover.Add(
                base + e.offset, e.size,
                static_cast<std::int64_t>(newOffsets[k]) - static_cast<std::int64_t>(e.offset));
        }
    }
    // The changed asset is written last, so that in a file whose assets share bytes the new
    // body is what the changed asset holds afterwards.
    const std::uint64_t at = base + changed.offset;
    ok = ok && mover.Flush() && rewrite.Copy(at, at, prefix) && rewrite.Write(at + prefix, body);
    return CompleteRewrite(rewrite, ok, doc, newLength, [&] {
        doc.header.fileSize = header.fileSize;
        for (std::uint32_t k = 0; k < count; ++k) {
            doc.entries[k].offset = newOffsets[k];
        }
        doc.entries[index].size = static_cast<std::uint32_t>(newSize);
    });
}

Outcome AddAsset(AssetFile& doc, std::uint32_t typeId, std::u16string_view name,
                 std::uint32_t indexOffset) {
    if (doc.metadata) {
        return AddLaterFormObject(doc, typeId, name, indexOffset);
    }
    std::uint32_t maxPathId = 0;
    std::uint64_t maxEnd = 0;
    for (const AssetEntry& e : doc.entries) {
        maxPathId = std::max(maxPathId, static_cast<std::uint32_t>(e.pathId));
        maxEnd = std::max(maxEnd, std::uint64_t{e.offset} + e.size);
    }
    const std::uint64_t oldBase = doc.header.dataOffset;
    const std::uint64_t oldLength = doc.serializedLength;
    // The new data goes at the end of the serialized file, which is the end of the furthest
    // asset in well-formed files; bytes after that asset are kept in front of it.
    const std::uint64_t place = std::max(oldBase + maxEnd, oldLength);
    if (place - oldBase > kMaxFileLength || oldBase + kAssetRecordSize > kMaxFileLength) {
        return Outcome::Failure(u"The asset file would grow beyond 4 GiB.");
    }
    const std::vector<std::uint8_t> prefix = MakeNamePrefix(name);

    AssetEntry added;
    added.name = name.empty() ? std::u16string(kUnnamedAsset) : std::u16string(name.substr(0, 255));
    added.pathId = static_cast<std::uint32_t>(indexOffset + maxPathId + 1);
    added.offset = static_cast<std::uint32_t>(place - oldBase);
    added.size = static_cast<std::uint32_t>(prefix.size());
    added.typeId = typeId;
    added.classWord = typeId;
    added.rawType = static_cast<std::int32_t>(typeId);
    added.classId = static_cast<std::int32_t>(typeId & 0xFFFF);
    added.prefixLength = added.size;

    AssetFileHeader header = doc.header;
    header.assetCount += 1;
    header.metadataSize += kAssetRecordSize;
    header.dataOffset += kAssetRecordSize;
    header.fileSize += kAssetRecordSize + added.size;

    const std::uint64_t oldTableEnd =
        kFileHeaderSize + std::uint64_t{kAssetRecordSize} * doc.entries.size();
    std::vector<std::uint8_t> front = HeaderAndTable(header, doc.entries.size() + 1);
    for (const AssetEntry& e : doc.entries) {
        WriteAssetRecord(e, front);
    }
    WriteAssetRecord(added, front);

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    const std::uint64_t newLength = place + kAssetRecordSize + added.size;
    bool ok = rewrite.Write(0, front) &&
              rewrite.Copy(oldTableEnd, oldTableEnd + kAssetRecordSize, oldLength - oldTableEnd) &&
              rewrite.Write(place + kAssetRecordSize, prefix);
    return CompleteRewrite(rewrite, ok, doc, newLength, [&] {
        doc.header = header;
        doc.entries.push_back(std::move(added));
    });
}

Outcome RemoveAsset(AssetFile& doc, std::uint32_t index) {
    if (index >= doc.entries.size()) {
        return NoSuchAsset(doc, index);
    }
    if (doc.metadata) {
        return RemoveLaterFormObject(doc, index);
    }
    const AssetEntry& removed = doc.entries[index];
    const std::uint64_t base = doc.header.dataOffset;
    if (base < kAssetRecordSize) {
        return Outcome::Failure(u"The data base (dataOffset " + DecimalText(base) +
                                u") is too small to remove a table record.");
    }
    const std::uint64_t removedStart = removed.offset;
    const std::uint64_t removedEnd = removedStart + removed.size;
    // The removed bytes are cut out unless another asset shares some of them; then they stay,
    // so that no other asset loses data.
    bool shared = false;
    for (std::uint32_t k = 0; k < doc.entries.size() && !shared; ++k) {
        const AssetEntry& e = doc.entries[k];
        shared = k != index && e.size > 0 && e.offset < removedEnd &&
                 std::uint64_t{e.offset} + e.size > removedStart;
    }
    const std::uint32_t cut = shared ? 0 : removed.size;
    const std::uint64_t oldTableEnd =
        kFileHeaderSize + std::uint64_t{kAssetRecordSize} * doc.entries.size();
    const std::uint64_t cutStart = std::max(base + removedStart, oldTableEnd);
    const std::uint64_t cutEnd = cutStart + cut;
    // The assets whose data lies after the removed data move back by the cut; empty assets
    // inside the cut move to where it was.
    auto newOffset = [&](const AssetEntry& e) -> std::uint64_t {
        if (cut == 0 || e.offset <= removedStart) {
            return e.offset;
        }
        return e.offset >= removedEnd ? e.offset - cut : removedStart;
    };

    AssetFileHeader header = doc.header;
    header.assetCount -= 1;
    header.metadataSize -= kAssetRecordSize;
    header.dataOffset -= kAssetRecordSize;
    header.fileSize -= kAssetRecordSize + cut;

    std::vector<std::uint8_t> front = HeaderAndTable(header, doc.entries.size() - 1);
    for (std::uint32_t k = 0; k < doc.entries.size(); ++k) {
        if (k == index) {
            continue;
        }
        AssetEntry record = doc.entries[k];
        record.offset = newOffset(record);
        WriteAssetRecord(record, front);
    }

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    const std::uint64_t oldLength = doc.serializedLength;
    const std::uint64_t newLength = oldLength - kAssetRecordSize - cut;
    bool ok = rewrite.Write(0, front) &&
              rewrite.Copy(oldTableEnd, oldTableEnd - kAssetRecordSize, cutStart - oldTableEnd) &&
              rewrite.Copy(cutEnd, cutStart - kAssetRecordSize, oldLength - cutEnd);
    return CompleteRewrite(rewrite, ok, doc, newLength, [&] {
        doc.header = header;
        for (AssetEntry& e : doc.entries) {
            e.offset = newOffset(e);
        }
        doc.entries.erase(doc.entries.begin() + index);
    });
}

}  // namespace kestrova
