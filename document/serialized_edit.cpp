#include "document/serialized_edit.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "common/text.h"
#include "document/asset_format.h"
#include "document/class_table.h"
#include "document/serialized_file.h"
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

// Stores `value` in `width` bytes (2, 4 or 8) at `at`, advancing it: a million records are
// written with one copy per field.
void Store(std::uint8_t*& at, std::uint64_t value, std::size_t width, bool bigEndian) {
    const bool swap = bigEndian != (std::endian::native == std::endian::big);
    if (width == 2) {
        auto v = static_cast<std::uint16_t>(value);
        v = swap ? __builtin_bswap16(v) : v;
        std::memcpy(at, &v, 2);
    } else if (width == 4) {
        auto v = static_cast<std::uint32_t>(value);
        v = swap ? __builtin_bswap32(v) : v;
        std::memcpy(at, &v, 4);
    } else {
        value = swap ? __builtin_bswap64(value) : value;
        std::memcpy(at, &value, 8);
    }
    at += width;
}

// The object table: the count, then every record, 4-aligned from format 14 (counted from the
// serialized file's first byte, where `out` begins). The table of a million objects is written
// through a pointer into bytes sized once.
bool WriteObjectTable(const SerializedMetadata& meta, std::size_t count,
                      const RecordSource& recordAt, std::vector<std::uint8_t>& out) {
    const std::uint32_t f = meta.format;
    const bool big = meta.bigEndian;
    const std::size_t idWidth = (f >= 14 || meta.bigIdEnabled != 0) ? 8 : 4;
    const std::size_t offsetWidth = f >= 22 ? 8 : 4;
    const std::size_t recordSize = idWidth + offsetWidth + 8 + (f < 16 ? 2 : 0) + (f < 11 ? 2 : 0) +
                                   (f >= 11 && f < 17 ? 2 : 0) + (f == 15 || f == 16 ? 1 : 0);
    const std::uint64_t offsetLimit = f >= 22 ? kMaxLongFileLength : kMaxFileLength;
    const std::size_t start = out.size();
    out.resize(start + 4 + count * (recordSize + 3), 0);
    std::uint8_t* const first = out.data();
    std::uint8_t* at = first + start;
    Store(at, count, 4, big);
    for (std::size_t k = 0; k < count; ++k) {
        const ObjectRecord r = recordAt(k);
        if (r.offset > offsetLimit) {
            return false;
        }
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
    return true;
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
                        std::size_t count, const RecordSource& recordAt, std::uint64_t dataLength,
                        RebuiltMetadata& rebuilt) {
    const bool longSizes = meta.format >= 22;
    const std::uint64_t offsetLimit = longSizes ? kMaxLongFileLength : kMaxFileLength;
    std::vector<std::uint8_t>& out = rebuilt.bytes;
    const std::uint64_t tail = meta.metadataEnd() - meta.objectTableEnd;
    out.reserve(meta.objectTableStart + 4 + count * 32 + tail);
    out.assign(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(meta.objectTableStart));
    if (!WriteObjectTable(meta, count, recordAt, out)) {
        return TooLarge(meta);
    }
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
    const std::vector<AssetEntry>& entries = doc.entries;
    const AssetEntry& changed = entries[index];
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
        const AssetEntry& e = entries[k];
        return k != index && (e.offset > oldEnd || (e.offset == oldEnd &&
                                                    (changed.size > 0 || e.size > 0 || k > index)));
    };
    auto newOffset = [&](std::uint32_t k) {
        return moves(k) ? entries[k].offset + static_cast<std::uint64_t>(shift) : entries[k].offset;
    };
    // One pass finds where the data ends, before and after the change, and whether the objects
    // lie in table order without sharing bytes, as the engine writes them: then everything from
    // the first object that moves on moves as one block.
    const std::uint64_t base = meta.dataOffset;
    std::uint64_t lastObjectEnd = 0;
    std::uint64_t newDataEnd = 0;
    std::uint64_t firstMover = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t previousEnd = 0;
    bool ordered = true;
    for (std::uint32_t k = 0; k < entries.size(); ++k) {
        const AssetEntry& e = entries[k];
        lastObjectEnd = std::max(lastObjectEnd, e.offset + e.size);
        const std::uint64_t size = k == index ? newSize : e.size;
        newDataEnd = std::max(newDataEnd, newOffset(k) + size);
        if (e.size > 0) {
            ordered = ordered && e.offset >= previousEnd;
            previousEnd = e.offset + e.size;
            if (moves(k)) {
                firstMover = std::min(firstMover, e.offset);
            }
        }
    }
    const std::uint64_t oldDataEnd = std::max(lastObjectEnd, doc.serializedLength - base);
    const std::uint64_t trailing = oldDataEnd - lastObjectEnd;
    if (trailing > 0) {
        newDataEnd =
            std::max(newDataEnd, lastObjectEnd + static_cast<std::uint64_t>(shift) + trailing);
        firstMover = std::min(firstMover, lastObjectEnd);
    }

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    RebuiltMetadata rebuilt;
    const RecordSource recordAt = [&](std::size_t k) {
        ObjectRecord r = RecordOf(entries[k]);
        r.offset = newOffset(static_cast<std::uint32_t>(k));
        r.size = k == index ? static_cast<std::uint32_t>(newSize) : r.size;
        return r;
    };
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), entries.size(), recordAt,
                                    newDataEnd, rebuilt);
        !o) {
        return o;
    }
    bool ok = WriteFront(rewrite, meta, rebuilt);
    if (ordered) {
        ok = ok && rewrite.Copy(base, base, start);
        if (firstMover < oldDataEnd) {
            ok = ok && rewrite.Copy(base + firstMover,
                                    base + firstMover + static_cast<std::uint64_t>(shift),
                                    oldDataEnd - firstMover);
        }
    } else {
        DataMover mover(rewrite);
        for (std::uint32_t k : DataOrder(doc)) {
            if (!ok) {
                break;
            }
            if (k != index) {
                const AssetEntry& e = entries[k];
                ok = mover.Add(base + e.offset, e.size,
                               static_cast<std::int64_t>(newOffset(k) - e.offset));
            }
        }
        if (ok && trailing > 0) {
            ok = mover.Add(base + lastObjectEnd, trailing, shift);
        }
        ok = ok && mover.Flush();
    }
    // The changed object is written last, so that where objects share bytes the new body is
    // what it holds afterwards; its padding is left unwritten and reads as zeros.
    const std::uint64_t at = base + start;
    ok = ok && rewrite.Copy(at, at, prefix) && rewrite.Write(at + prefix, body);
    return CompleteRewrite(rewrite, ok, doc, rebuilt.fileSize, [&] {
        ApplyMetadata(*doc.metadata, rebuilt);
        for (std::uint32_t k = 0; k < entries.size(); ++k) {
            doc.entries[k].offset = newOffset(k);
        }
        doc.entries[index].size = static_cast<std::uint32_t>(newSize);
        RereadNameInBody(doc, index, body);
    });
}

void RereadNameInBody(AssetFile& doc, std::uint32_t index, std::span<const std::uint8_t> body) {
    if (!doc.metadata || index >= doc.entries.size()) {
        return;
    }
    AssetEntry& e = doc.entries[index];
    const SerializedMetadata& meta = *doc.metadata;
    const SerializedType* type =
        e.typeIndex < meta.types.size() ? &meta.types[e.typeIndex] : nullptr;
    // A name at byte 0 is the prefix, which a new body leaves as it was.
    if (type != nullptr && type->nameField != 0 && type->nameField != kNoNameField) {
        ReadObjectName(meta, e, body);
    }
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
    const std::size_t count = doc.entries.size();
    const RecordSource recordAt = [&](std::size_t k) {
        return RecordOf(k < count ? doc.entries[k] : added);
    };
    RebuiltMetadata rebuilt;
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), count + 1, recordAt,
                                    added.offset + added.size, rebuilt);
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
    const RecordSource recordAt = [&](std::size_t k) {
        ObjectRecord r = RecordOf(doc.entries[k < index ? k : k + 1]);
        r.offset = newOffset(doc.entries[k < index ? k : k + 1]);
        return r;
    };

    WorkingCopyRewrite rewrite(doc);
    if (Outcome o = rewrite.Begin(); !o) {
        return o;
    }
    RebuiltMetadata rebuilt;
    if (Outcome o = RebuildMetadata(meta, rewrite.serialized(), doc.entries.size() - 1, recordAt,
                                    dataLength - cut, rebuilt);
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
