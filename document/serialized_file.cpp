#include "document/serialized_file.h"

#include <unordered_map>

#include "common/text.h"
#include "document/asset_format.h"
#include "document/class_table.h"
#include "document/ordered_bytes.h"
#include "document/type_tree_reader.h"

namespace kestrova {

namespace {

constexpr std::uint32_t kShortHeaderSize = 20;
constexpr std::uint32_t kLongHeaderSize = 48;  // format 22
constexpr std::size_t kHashSize = 16;

std::u16string Number(std::uint64_t value) {
    return DecimalText(static_cast<std::int64_t>(value));
}

std::u16string Signed(std::int64_t value) {
    return DecimalText(value);
}

// One reading of the metadata: the reader, the metadata it fills, and the refusals, each of
// which names the format.
class MetadataParser {
public:
    MetadataParser(OrderedReader& in, SerializedMetadata& meta) : in_(in), meta_(meta) {}

    Outcome Fail(const std::u16string& problem) const {
        return Outcome::Failure(problem + u" (format " + Number(meta_.format) + u").");
    }
    Outcome CutShort(const char16_t* where) const {
        return Fail(u"The metadata ends inside " + std::u16string(where));
    }
    // The count word of a list whose items take at least `least` bytes each, refused when the
    // rest of the metadata cannot hold that many; `what` names it.
    Outcome ReadCount(const std::u16string& what, std::uint64_t least, std::int32_t& count) {
        if (!in_.Read(count)) {
            return Fail(u"The metadata ends inside the " + what);
        }
        if (count < 0 || static_cast<std::uint64_t>(count) > in_.remaining() / least) {
            return Fail(u"The " + what + u" (" + Signed(count) + u") does not fit in the metadata");
        }
        return Outcome::Success();
    }

    Outcome ReadTypes(std::vector<SerializedType>& types, bool reference);
    Outcome ReadObjects(std::vector<AssetEntry>& entries, std::uint64_t dataLength);
    Outcome ReadScriptTypes();
    Outcome ReadExternals();

private:
    Outcome ReadType(SerializedType& type, bool reference, std::size_t index);
    // The least bytes one type entry takes in this format.
    std::uint64_t LeastTypeSize() const;
    std::uint64_t LeastObjectSize() const;

    OrderedReader& in_;
    SerializedMetadata& meta_;
};

std::uint64_t MetadataParser::LeastTypeSize() const {
    const std::uint32_t f = meta_.format;
    std::uint64_t size = 4 + (f >= 16 ? 1 : 0) + (f >= 17 ? 2 : 0) + (f >= 13 ? kHashSize : 0);
    if (meta_.typeTreesKept) {
        size += (f == 10 || f >= 12) ? 8 : 26;
    }
    return size;
}

std::uint64_t MetadataParser::LeastObjectSize() const {
    const std::uint32_t f = meta_.format;
    std::uint64_t size = (f >= 14 || meta_.bigIdEnabled != 0) ? 8 : 4;
    size += f >= 22 ? 8 : 4;  // byteStart
    size += 4 + 4;            // byteSize, type
    size += f < 16 ? 2 : 0;
    size += f < 11 ? 2 : 0;
    size += (f >= 11 && f < 17) ? 2 : 0;
    size += (f == 15 || f == 16) ? 1 : 0;
    return size;
}

Outcome MetadataParser::ReadType(SerializedType& type, bool reference, std::size_t index) {
    const std::uint32_t f = meta_.format;
    const std::u16string what = (reference ? u"reference type " : u"type ") + Number(index);
    const std::u16string where = u"the entry of " + what;
    if (!in_.Read(type.classId) || (f >= 16 && !in_.Read(type.stripped)) ||
        (f >= 17 && !in_.Read(type.scriptTypeIndex))) {
        return CutShort(where.c_str());
    }
    if (f >= 13) {
        type.hasScriptId = (reference && type.scriptTypeIndex >= 0) ||
                           (f < 16 && type.classId < 0) || (f >= 16 && type.classId == 114);
        if ((type.hasScriptId && !in_.Read(type.scriptId)) || !in_.Read(type.hash)) {
            return CutShort(where.c_str());
        }
    }
    if (!meta_.typeTreesKept) {
        return Outcome::Success();
    }
    type.hasTree = true;
    if (Outcome o = ReadTypeTree(in_, f, what, type.tree); !o) {
        return o;
    }
    if (f < 21) {
        return Outcome::Success();
    }
    if (reference) {
        if (!in_.ReadText(type.className) || !in_.ReadText(type.nameSpace) ||
            !in_.ReadText(type.assemblyName)) {
            return CutShort(where.c_str());
        }
        return Outcome::Success();
    }
    std::int32_t count = 0;
    if (Outcome o = ReadCount(u"dependency count of " + what, 4, count); !o) {
        return o;
    }
    type.dependencies.resize(static_cast<std::size_t>(count));
    for (std::int32_t& dependency : type.dependencies) {
        in_.Read(dependency);
    }
    return Outcome::Success();
}

Outcome MetadataParser::ReadTypes(std::vector<SerializedType>& types, bool reference) {
    std::int32_t count = 0;
    if (Outcome o =
            ReadCount(reference ? u"reference type count" : u"type count", LeastTypeSize(), count);
        !o) {
        return o;
    }
    types.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (Outcome o = ReadType(types[i], reference, i); !o) {
            return o;
        }
    }
    return Outcome::Success();
}

Outcome MetadataParser::ReadObjects(std::vector<AssetEntry>& entries, std::uint64_t dataLength) {
    const std::uint32_t f = meta_.format;
    std::int32_t count = 0;
    if (Outcome o = ReadCount(u"object count", LeastObjectSize(), count); !o) {
        return o;
    }
    // Before format 16 an object names its type by class id; the first type of that id is its.
    std::unordered_map<std::int32_t, std::uint32_t> typeOfClass;
    if (f < 16) {
        for (std::uint32_t t = 0; t < meta_.types.size(); ++t) {
            typeOfClass.emplace(meta_.types[t].classId, t);
        }
    }
    entries.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        AssetEntry& e = entries[i];
        bool ok = true;
        if (f >= 14) {
            ok = in_.Align4() && in_.Read(e.pathId);
        } else if (meta_.bigIdEnabled != 0) {
            ok = in_.Read(e.pathId);
        } else {
            std::int32_t id = 0;
            ok = in_.Read(id);
            e.pathId = id;
        }
        if (f >= 22) {
            ok = ok && in_.Read(e.offset);
        } else {
            std::uint32_t offset = 0;
            ok = ok && in_.Read(offset);
            e.offset = offset;
        }
        ok = ok && in_.Read(e.size) && in_.Read(e.rawType);
        if (ok && f < 16) {
            std::uint16_t classId = 0;
            ok = in_.Read(classId);
            e.classWord = classId;
            e.classId = classId;
        }
        if (ok && f < 11) {
            std::uint16_t destroyed = 0;
            ok = in_.Read(destroyed);
            e.classWord |= std::uint32_t{destroyed} << 16;
        }
        if (ok && f >= 11 && f < 17) {
            ok = in_.Read(e.scriptTypeIndex);
        }
        if (ok && (f == 15 || f == 16)) {
            ok = in_.Read(e.stripped);
        }
        if (!ok) {
            return Fail(u"The metadata ends inside the record of object " + Number(i));
        }
        if (f >= 16) {
            if (e.rawType < 0 || static_cast<std::uint64_t>(e.rawType) >= meta_.types.size()) {
                return Fail(u"Object " + Number(i) + u" names type " + Signed(e.rawType) +
                            u", outside the type list of " + Number(meta_.types.size()) +
                            u" types");
            }
            e.typeIndex = static_cast<std::uint32_t>(e.rawType);
            e.classId = meta_.types[e.typeIndex].classId;
        } else if (auto t = typeOfClass.find(e.rawType); t != typeOfClass.end()) {
            e.typeIndex = t->second;
        }
        e.typeId = static_cast<std::uint32_t>(e.classId);
        if (e.offset > dataLength || e.size > dataLength - e.offset) {
            return Fail(u"The data of object " + Number(i) + u" (offset " + Number(e.offset) +
                        u", size " + Number(e.size) + u") lies outside the file");
        }
        if (e.typeIndex != kNoType) {
            ++meta_.types[e.typeIndex].objectCount;
        }
    }
    return Outcome::Success();
}

Outcome MetadataParser::ReadScriptTypes() {
    const std::uint32_t f = meta_.format;
    std::int32_t count = 0;
    if (Outcome o = ReadCount(u"script type count", f < 14 ? 8 : 12, count); !o) {
        return o;
    }
    meta_.scriptTypeCount = static_cast<std::uint32_t>(count);
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t fileIndex = 0;
        std::int32_t shortId = 0;
        std::int64_t id = 0;
        const bool ok =
            in_.Read(fileIndex) && (f < 14 ? in_.Read(shortId) : in_.Align4() && in_.Read(id));
        if (!ok) {
            return CutShort(u"the script types");
        }
    }
    return Outcome::Success();
}

Outcome MetadataParser::ReadExternals() {
    const std::uint32_t f = meta_.format;
    std::int32_t count = 0;
    if (Outcome o = ReadCount(u"external file count",
                              (f >= 6 ? 1 : 0) + (f >= 5 ? kHashSize + 4 : 0) + 1, count);
        !o) {
        return o;
    }
    meta_.externals.resize(static_cast<std::size_t>(count));
    for (ExternalFile& external : meta_.externals) {
        const bool ok = (f < 6 || in_.ReadText(external.tempEmpty)) &&
                        (f < 5 || (in_.Read(external.guid) && in_.Read(external.type))) &&
                        in_.ReadText(external.path);
        if (!ok) {
            return CutShort(u"the external files");
        }
    }
    return Outcome::Success();
}

// The header: four big-endian words and the endianness byte; format 22 continues with 64-bit
// fields. Checks the sizes and the data offset against the file.
Outcome ReadHeader(std::span<const std::uint8_t> bytes, SerializedMetadata& meta) {
    if (bytes.size() < kShortHeaderSize) {
        return Outcome::Failure(u"The file is too short for an asset file header (" +
                                Number(bytes.size()) + u" bytes).");
    }
    ByteReader reader(bytes);
    OrderedReader header(reader, true);
    std::uint32_t words[4] = {};
    for (std::uint32_t& word : words) {
        header.Read(word);
    }
    meta.format = words[2];
    if (meta.format < kOldestFormat || meta.format > kNewestFormat) {
        return Outcome::Failure(u"The serialized file's format " + Number(meta.format) +
                                u" is not supported (Kestrova reads formats 9 to 22).");
    }
    std::uint8_t endianness = 0;
    header.Read(endianness);
    if (endianness > 1) {
        return Outcome::Failure(u"The endianness byte (" + Number(endianness) +
                                u") is neither 0 nor 1 (format " + Number(meta.format) + u").");
    }
    meta.bigEndian = endianness == 1;
    if (meta.format >= 22) {
        std::uint32_t metadataSize = 0;
        if (bytes.size() < kLongHeaderSize || !reader.Seek(kShortHeaderSize) ||
            !header.Read(metadataSize) || !header.Read(meta.fileSize) ||
            !header.Read(meta.dataOffset)) {
            return Outcome::Failure(u"The file is too short for the header of format 22 (" +
                                    Number(bytes.size()) + u" bytes).");
        }
        meta.metadataSize = metadataSize;
        meta.headerSize = kLongHeaderSize;
    } else {
        meta.metadataSize = words[0];
        meta.fileSize = words[1];
        meta.dataOffset = words[3];
        meta.headerSize = kShortHeaderSize;
    }
    const std::u16string format = u" (format " + Number(meta.format) + u").";
    if (meta.metadataSize > bytes.size() - meta.headerSize) {
        return Outcome::Failure(u"The metadata size (" + Number(meta.metadataSize) +
                                u") runs past the end of the file (" + Number(bytes.size()) +
                                u" bytes)" + format);
    }
    if (meta.dataOffset > bytes.size()) {
        return Outcome::Failure(u"The data offset (" + Number(meta.dataOffset) +
                                u") lies beyond the end of the file (" + Number(bytes.size()) +
                                u" bytes)" + format);
    }
    if (meta.dataOffset < meta.metadataEnd()) {
        return Outcome::Failure(u"The data offset (" + Number(meta.dataOffset) +
                                u") lies inside the metadata, which ends at byte " +
                                Number(meta.metadataEnd()) + format);
    }
    return Outcome::Success();
}

// Where m_Name lies for each type: through its tree where the file keeps one, else at the start
// for the classes derived from NamedObject.
std::uint32_t NameFieldOfClass(std::int32_t classId) {
    return ClassStartsWithName(classId) ? 0 : kNoNameField;
}

}  // namespace

bool IsExact44ByteForm(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kFileHeaderSize) {
        return false;
    }
    ByteReader reader(bytes);
    AssetFileHeader header;
    ReadFileHeader(header, reader);
    const auto& text = header.engineVersion;
    const bool sevenCharacters =
        std::find(text.begin(), text.begin() + 7, std::uint8_t{0}) == text.begin() + 7 &&
        text[7] == 0;
    return header.formatVersion == 9 && bytes[16] == 0 && sevenCharacters &&
           header.typeTreeCount == 0 && header.longIdsWord == 0;
}

void ReadObjectName(const SerializedMetadata& meta, AssetEntry& e,
                    std::span<const std::uint8_t> data) {
    const SerializedType* type = e.typeIndex != kNoType ? &meta.types[e.typeIndex] : nullptr;
    std::uint32_t field = type != nullptr ? type->nameField : NameFieldOfClass(e.classId);
    if (field == kNameAfterArrays) {
        field = NameFieldAfterArrays(data, type->nameSteps, meta.bigEndian);
    }
    ReadNameField(e, data, field, meta.bigEndian);
    if (type != nullptr && type->nameField != 0) {
        e.prefixLength = 0;  // a name further in is no prefix, even where it lands at byte 0
    }
}

Outcome ReadFullMetadata(AssetFile& doc, std::span<const std::uint8_t> bytes,
                         const ProgressCallback& progress) {
    SerializedMetadata meta;
    if (Outcome o = ReadHeader(bytes, meta); !o) {
        return o;
    }
    ByteReader reader(bytes.first(meta.metadataEnd()), meta.headerSize);
    OrderedReader in(reader, meta.bigEndian);
    MetadataParser parse(in, meta);
    if (!in.ReadText(meta.engineVersion)) {
        return parse.Fail(u"The engine version text runs past the end of the metadata");
    }
    meta.typeTreesKept = true;
    std::uint8_t enableTypeTree = 1;
    if (!in.Read(meta.platform) || (meta.format >= 13 && !in.Read(enableTypeTree))) {
        return parse.CutShort(u"the platform");
    }
    meta.typeTreesKept = enableTypeTree != 0;
    if (Outcome o = parse.ReadTypes(meta.types, false); !o) {
        return o;
    }
    if (meta.format >= 7 && meta.format < 14 && !in.Read(meta.bigIdEnabled)) {
        return parse.CutShort(u"bigIdEnabled");
    }
    meta.objectTableStart = in.position();
    std::vector<AssetEntry> entries;
    if (Outcome o = parse.ReadObjects(entries, bytes.size() - meta.dataOffset); !o) {
        return o;
    }
    meta.objectTableEnd = in.position();
    if (meta.format >= 11) {
        if (Outcome o = parse.ReadScriptTypes(); !o) {
            return o;
        }
    }
    if (Outcome o = parse.ReadExternals(); !o) {
        return o;
    }
    if (meta.format >= 20) {
        if (Outcome o = parse.ReadTypes(meta.referenceTypes, true); !o) {
            return o;
        }
    }
    if (meta.format >= 5 && !in.ReadText(meta.userInformation)) {
        return parse.CutShort(u"the user information text");
    }

    for (SerializedType& type : meta.types) {
        type.nameField = type.hasTree ? NameFieldOffset(type.tree, type.nameSteps)
                                      : NameFieldOfClass(type.classId);
    }
    std::u16string text;
    const auto count = static_cast<std::uint32_t>(entries.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        AssetEntry& e = entries[i];
        const std::span<const std::uint8_t> data =
            bytes.subspan(meta.dataOffset + e.offset, e.size);
        ReadObjectName(meta, e, data);
        if (progress) {
            ReportLoadedAsset(progress, text, i, count, e.name);
        }
    }
    doc.entries = std::move(entries);
    doc.metadata = std::move(meta);
    return Outcome::Success();
}

}  // namespace kestrova
