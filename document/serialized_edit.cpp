#include "document/serialized_edit.h"

#include <algorithm>
#include <limits>

#include "common/text.h"
#include "document/asset_format.h"
#include "document/class_table.h"
#include "document/working_copy_rewrite.h"

namespace kestrova {

namespace {

constexpr std::uint64_t kAlignment = 8;  // object data starts
constexpr std::uint64_t kDataOffsetAlignment = 16;
constexpr std::int32_t kScriptClass = 114;

std::uint64_t RoundUp(std::uint64_t n, std::uint64_t to) {
    return (n + to - 1) / to * to;
}

std::u16string Number(std::uint64_t value) {
    return DecimalText(static_cast<std::int64_t>(value));
}

Outcome TooLarge(const SerializedMetadata& meta) {
    return Outcome::Failure(u"The asset file would grow beyond what format " + Number(meta.format) +
                            u" can hold (4 GiB).");
}

// Stores `value` in `width` bytes at `at`, advancing it.
void Store(std::uint8_t*& at, std::uint64_t value, std::size_t width, bool bigEndian) {
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
        *at++ = static_cast<std::uint8_t>(value >> shift);
    }
}

// The object table: the count, then every record, 4-aligned from format 14 (counted from the
// serialized file's first byte, where `out` begins). The table of a million objects is written
// through a pointer into bytes sized once.
void WriteObjectTable(const SerializedMetadata& meta, std::span<const ObjectRecord> records,
                      std::vector<std::uint8_t>& out) {
    const std::uint32_t f = meta.format;
    const bool big = meta.bigEndian;
    const std::size_t idWidth = (f >= 14 || meta.bigIdEnabled != 0) ? 8 : 4;
    const std::size_t offsetWidth = f >= 22 ? 8 : 4;
    const std::size_t recordSize = idWidth + offsetWidth + 8 + (f < 16 ? 2 : 0) + (f < 11 ? 2 : 0) +
                                   (f >= 11 && f < 17 ? 2 : 0) + (f == 15 || f == 16 ? 1 : 0);
    const std::size_t start = out.size();
    out.resize(start + 4 + records.size() * (recordSize + 3), 0);
    std::uint8_t* const first = out.data();
    std::uint8_t* at = first + start;
    Store(at, records.size(), 4, big);
    for (const ObjectRecord& r : records) {
        if (f >= 14) {
            at = first + RoundUp4(static_cast<std::uint64_t>(at - first));
        }
        Store(at, static_cast<std::uint64_t>(r.pathId), idWidth, big);
        Store(at, r.offset, offsetWidth, big);
        Store(at, r.size, 4, big);
        Store(at, static_cast<std::uint32_t>(r.rawType), 4, big);
        if (f < 16) {
            Store(at, r.classWord & 0xFFFF, 2, big);
        }
        if (f < 11) {
            Store(at, r.classWord >> 16, 2, big);
        }
        if (f >= 11 && f < 17) {
            Store(at, static_cast<std::uint16_t>(r.scriptTypeIndex), 2, big);
        }
        if (f == 15 || f == 16) {
            *at++ = r.stripped;
        }
    }
    out.resize(static_cast<std::size_t>(at - first));
}

void PatchBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
                    std::size_t width) {
    std::uint8_t* p = bytes.data() + at;
    Store(p, value, width, true);
}

// The new table's numbers as the document keeps them, once the rewrite has succeeded.
void ApplyMetadata(SerializedMetadata& meta, const RebuiltMetadata& rebuilt) {
    meta.metadataSize = rebuilt.metadataSize;
    meta.objectTableEnd = rebuilt.objectTableEnd;
    meta.dataOffset = rebuilt.dataOffset;
    meta.fileSize = rebuilt.fileSize;
}

// The end of the object data, counted from the data offset: the furthest object's end, or the
// serialized file's end when bytes follow the last object.
std::uint64_t DataEnd(const AssetFile& doc) {
    std::uint64_t end = doc.serializedLength - doc.metadata->dataOffset;
    for (const AssetEntry& e : doc.entries) {
        end = std::max(end, e.offset + e.size);
    }
    return end;
}

// Writes the header and metadata, and carries the old bytes between the metadata's end and the
// data offset while the data offset stays (they are never stale metadata).
bool WriteFront(WorkingCopyRewrite& rewrite, const SerializedMetadata& meta,
                const RebuiltMetadata& rebuilt) {
    if (!rewrite.Write(0, rebuilt.bytes)) {
        return false;
    }
    if (rebuilt.dataOffset != meta.dataOffset) {
        return true;
    }
    const std::uint64_t gap = std::max<std::uint64_t>(rebuilt.bytes.size(), meta.metadataEnd());
    return gap >= meta.dataOffset || rewrite.Copy(gap, gap, meta.dataOffset - gap);
}

}  // namespace

ObjectRecord RecordOf(const AssetEntry& e) {
    return {e.pathId, e.offset, e.size, e.rawType, e.classWord, e.scriptTypeIndex, e.stripped};
}

Outcome RebuildMetadata(const SerializedMetadata& meta, std::span<const std::uint8_t> old,
                        std::span<const ObjectRecord> records, std::uint64_t dataLength,
                        RebuiltMetadata& rebuilt) {
    const bool longSizes = meta.format >= 22;
    const std::uint64_t offsetLimit = longSizes ? kMaxLongFileLength : kMaxFileLength;
    for (const ObjectRecord& r : records) {
        if (r.offset > offsetLimit) {
            return TooLarge(meta);
        }
    }
    std::vector<std::uint8_t>& out = rebuilt.bytes;
    const std::uint64_t tail = meta.metadataEnd() - meta.objectTableEnd;
    out.reserve(meta.objectTableStart + 4 + records.size() * 32 + tail);
    out.assign(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(meta.objectTableStart));
    WriteObjectTable(meta, records, out);
    rebuilt.objectTableEnd = out.size();
    out.insert(out.end(), old.begin() + static_cast<std::ptrdiff_t>(meta.objectTableEnd),
               old.begin() + static_cast<std::ptrdiff_t>(meta.metadataEnd()));
    rebuilt.metadataSize = out.size() - meta.headerSize;
    rebuilt.dataOffset =
        out.size() <= meta.dataOffset ? meta.dataOffset : RoundUp(out.size(), kDataOffsetAlignment);
    rebuilt.fileSize = rebuilt.dataOffset + dataLength;
    if (rebuilt.metadataSize > kMaxFileLength || rebuilt.fileSize > offsetLimit) {
        return TooLarge(meta);
    }
    if (longSizes) {
        PatchBigEndian(out, 20, rebuilt.metadataSize, 4);
        PatchBigEndian(out, 24, rebuilt.fileSize, 8);
        PatchBigEndian(out, 32, rebuilt.dataOffset, 8);
    } else {
        PatchBigEndian(out, 0, rebuilt.metadataSize, 4);
        PatchBigEndian(out, 4, rebuilt.fileSize, 4);
        PatchBigEndian(out, 12, rebuilt.dataOffset, 4);
    }
    return Outcome::Success();
}

Outcome ResizeLaterFormObject(AssetFile& doc, std::uint32_t index,
                              std::span<const std::uint8_t> body) {
    const SerializedMetadata& meta = *doc.metadata;
    const AssetEntry& changed = doc.entries[index];
    const std::uint64_t prefix = changed.prefixLength;
    const std::uint64_t newSize = prefix + body.size();
    if (newSize > std::numeric_limits<std::uint32_t>::max()) {
        return Outcome::Failure(u"The asset would grow beyond 4 GiB.");
    }
    const std::uint64_t start = changed.offset;
    const std::uint64_t oldEnd = start + changed.size;
    // The objects after the changed one keep their 8-aligned starts: they move by the change of
    // the changed object's padded end.
    const std::int64_t shift = static_cast<std::int64_t>(RoundUp(start + newSize, kAlignment)) -
                               static_cast<std::int64_t>(RoundUp(oldEnd, kAlignment));
    auto moves = [&](std::uint32_t k) {
        const AssetEntry& e = doc.entries[k];
        return k != index && (e.offset > oldEnd || (e.offset == oldEnd &&
                                                    (changed.size > 0 || e.size > 0 || k > index)));
    };
    const std::uint64_t base = meta.dataOffset;
    const std::uint64_t oldDataEnd = DataEnd(doc);
    std::vector<ObjectRecord> records(doc.entries.size());
    std::uint64_t newDataEnd = 0;
    for (std::uint32_t k = 0; k < records.size(); ++k) {
        const AssetEntry& e = doc.entries[k];
        ObjectRecord& r = records[k];
        r = RecordOf(e);
        if (moves(k)) {
            r.offset += static_cast<std::uint64_t>(shift);
        }
        if (k == index) {
            r.size = static_cast<std::uint32_t>(newSize);
        }
        newDataEnd = std::max(newDataEnd, r.offset + r.size);
    }
    // Bytes after the last object move with the objects after the changed one.
    std::uint64_t lastObjectEnd = 0;
    for (const AssetEntry& e : doc.entries) {
        lastObjectEnd = std::max(lastObjectEnd, e.offset + e.size);
    }
    const std::uint64_t trailing = oldDataEnd - lastObjectEnd;
    if (trailing > 0) {
        newDataEnd =
            std::max(newDataEnd, lastObjectEnd + static_cast<std::uint64_t>(shift) + trailing);
    }

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    RebuiltMetadata rebuilt;
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), records, newDataEnd, rebuilt); !o) {
        return o;
    }
    bool ok = WriteFront(rewrite, meta, rebuilt);
    DataMover mover(rewrite);
    for (std::uint32_t k : DataOrder(doc)) {
        if (!ok) {
            break;
        }
        if (k != index) {
            const AssetEntry& e = doc.entries[k];
            ok = mover.Add(base + e.offset, e.size,
                           static_cast<std::int64_t>(records[k].offset - e.offset));
        }
    }
    if (ok && trailing > 0) {
        ok = mover.Add(base + lastObjectEnd, trailing, shift);
    }
    // The changed object is written last, so that where objects share bytes the new body is
    // what it holds afterwards; its padding is left unwritten and reads as zeros.
    const std::uint64_t at = base + start;
    ok = ok && mover.Flush() && rewrite.Copy(at, at, prefix) && rewrite.Write(at + prefix, body);
    return CompleteRewrite(rewrite, ok, doc, rebuilt.fileSize, [&] {
        ApplyMetadata(*doc.metadata, rebuilt);
        for (std::uint32_t k = 0; k < records.size(); ++k) {
            doc.entries[k].offset = records[k].offset;
        }
        doc.entries[index].size = static_cast<std::uint32_t>(newSize);
    });
}

Outcome AddLaterFormObject(AssetFile& doc, std::uint32_t classId, std::u16string_view name,
                           std::uint32_t indexOffset) {
    const SerializedMetadata& meta = *doc.metadata;
    const auto wanted = static_cast<std::int32_t>(classId);
    // Before format 16 the type list names script types by negative ids; their objects are of
    // class 114 (MonoBehaviour).
    const auto type =
        std::find_if(meta.types.begin(), meta.types.end(), [&](const SerializedType& t) {
            return t.classId == wanted ||
                   (meta.format < 16 && wanted == kScriptClass && t.classId < 0);
        });
    if (type == meta.types.end()) {
        std::u16string held;
        for (const SerializedType& t : meta.types) {
            held += (held.empty() ? u"" : u", ") + DecimalText(t.classId);
        }
        return Outcome::Failure(
            u"The file's type list holds no class " + DecimalText(wanted) +
            u": a new type would need a type tree, which Kestrova cannot invent. Classes the "
            u"file holds: " +
            (held.empty() ? u"none" : held) + u".");
    }
    const auto typeIndex = static_cast<std::uint32_t>(type - meta.types.begin());

    std::int64_t maxPathId = 0;
    for (const AssetEntry& e : doc.entries) {
        maxPathId = std::max(maxPathId, e.pathId);
    }
    const bool shortIds = meta.format < 14 && meta.bigIdEnabled == 0;
    const std::int64_t idLimit = shortIds ? std::numeric_limits<std::int32_t>::max()
                                          : std::numeric_limits<std::int64_t>::max();
    if (maxPathId > idLimit - 1 - std::int64_t{indexOffset}) {
        return Outcome::Failure(u"The next path id after " + DecimalText(maxPathId) +
                                u" does not fit the path ids of format " + Number(meta.format) +
                                u".");
    }

    const std::int32_t objectClass = type->classId < 0 ? kScriptClass : type->classId;
    AssetEntry added;
    added.pathId = maxPathId + 1 + indexOffset;
    added.classId = objectClass;
    added.typeId = static_cast<std::uint32_t>(objectClass);
    added.typeIndex = typeIndex;
    added.rawType = meta.format >= 16 ? static_cast<std::int32_t>(typeIndex) : type->classId;
    added.classWord = meta.format < 16 ? (static_cast<std::uint32_t>(objectClass) & 0xFFFF) : 0;
    // The per-record fields of older formats follow the objects of the same type already there.
    for (const AssetEntry& e : doc.entries) {
        if (e.typeIndex == typeIndex) {
            added.scriptTypeIndex = e.scriptTypeIndex;
            added.stripped = e.stripped;
            break;
        }
    }
    const std::vector<std::uint8_t> data =
        type->nameField == 0 ? MakeNameField(name, meta.bigEndian) : std::vector<std::uint8_t>{};
    added.offset = RoundUp(DataEnd(doc), kAlignment);
    added.size = static_cast<std::uint32_t>(data.size());
    added.prefixLength = added.size;
    added.name = data.empty() || name.empty() ? std::u16string(kUnnamedAsset)
                                              : std::u16string(name.substr(0, kMaxFieldText));

    const std::uint64_t oldBase = meta.dataOffset;
    const std::uint64_t oldLength = doc.serializedLength;
    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    std::vector<ObjectRecord> records;
    records.reserve(doc.entries.size() + 1);
    for (const AssetEntry& e : doc.entries) {
        records.push_back(RecordOf(e));
    }
    records.push_back(RecordOf(added));
    RebuiltMetadata rebuilt;
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), records, added.offset + added.size,
                                    rebuilt);
        !o) {
        return o;
    }
    const std::uint64_t newBase = rebuilt.dataOffset;
    const bool ok = WriteFront(rewrite, meta, rebuilt) &&
                    rewrite.Copy(oldBase, newBase, oldLength - oldBase) &&
                    rewrite.Write(newBase + added.offset, data);
    return CompleteRewrite(rewrite, ok, doc, rebuilt.fileSize, [&] {
        ApplyMetadata(*doc.metadata, rebuilt);
        ++doc.metadata->types[typeIndex].objectCount;
        doc.entries.push_back(std::move(added));
    });
}

Outcome RemoveLaterFormObject(AssetFile& doc, std::uint32_t index) {
    const SerializedMetadata& meta = *doc.metadata;
    const AssetEntry& removed = doc.entries[index];
    const std::uint64_t base = meta.dataOffset;
    const std::uint64_t dataLength = doc.serializedLength - base;
    const std::uint64_t start = removed.offset;
    const std::uint64_t end = start + removed.size;
    // The data is cut with the padding after it, unless another object shares its bytes (they
    // stay, so that no other object loses data) or starts inside that padding.
    std::uint64_t cutEnd = std::min(RoundUp(end, kAlignment), dataLength);
    bool shared = false;
    for (std::uint32_t k = 0; k < doc.entries.size(); ++k) {
        const AssetEntry& e = doc.entries[k];
        if (k == index) {
            continue;
        }
        shared = shared || (e.size > 0 && e.offset < end && e.offset + e.size > start);
        if (e.offset >= end && e.offset < cutEnd) {
            cutEnd = end;
        }
    }
    const std::uint64_t cut = shared ? 0 : cutEnd - start;
    auto newOffset = [&](const AssetEntry& e) -> std::uint64_t {
        if (cut == 0 || e.offset <= start) {
            return e.offset;
        }
        return e.offset >= start + cut ? e.offset - cut : start;
    };
    std::vector<ObjectRecord> records;
    records.reserve(doc.entries.size() - 1);
    for (std::uint32_t k = 0; k < doc.entries.size(); ++k) {
        if (k != index) {
            records.push_back(RecordOf(doc.entries[k]));
            records.back().offset = newOffset(doc.entries[k]);
        }
    }

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    RebuiltMetadata rebuilt;
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), records, dataLength - cut, rebuilt);
        !o) {
        return o;
    }
    const std::uint64_t cutFrom = base + start;
    const bool ok = WriteFront(rewrite, meta, rebuilt) && rewrite.Copy(base, base, start) &&
                    rewrite.Copy(cutFrom + cut, cutFrom, dataLength - start - cut);
    return CompleteRewrite(rewrite, ok, doc, rebuilt.fileSize, [&] {
        ApplyMetadata(*doc.metadata, rebuilt);
        if (removed.typeIndex != kNoType) {
            --doc.metadata->types[removed.typeIndex].objectCount;
        }
        for (AssetEntry& e : doc.entries) {
            e.offset = newOffset(e);
        }
        doc.entries.erase(doc.entries.begin() + index);
    });
}

}  // namespace kestrova
