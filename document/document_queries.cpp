// What the rest of the program asks of an open document beyond its table: the format and engine
// version, each asset's class and type tree, the Index column's text, and look-ups by path id and
// by class.

#include <algorithm>

#include "common/number_text.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "document/class_table.h"

namespace kestrova {

namespace {

const SerializedType* TypeOf(const AssetFile& doc, std::uint32_t index) {
    if (!doc.metadata || index >= doc.entries.size()) {
        return nullptr;
    }
    const std::uint32_t type = doc.entries[index].typeIndex;
    return type < doc.metadata->types.size() ? &doc.metadata->types[type] : nullptr;
}

}  // namespace

std::u16string ClassNameOf(const SerializedType* type, std::int32_t classId) {
    if (type != nullptr && type->hasTree && !type->tree.nodes.empty() &&
        !type->tree.nodes.front().type.empty()) {
        return Utf8ToUtf16(type->tree.nodes.front().type);
    }
    std::string_view known = KnownClassName(classId);
    return known.empty() ? u"Class " + DecimalText(classId) : Ascii(known);
}

std::uint32_t FormatVersion(const AssetFile& doc) {
    return doc.metadata ? doc.metadata->format : doc.header.formatVersion;
}

std::string EngineVersion(const AssetFile& doc) {
    if (doc.metadata) {
        return doc.metadata->engineVersion;
    }
    const auto& text = doc.header.engineVersion;
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    return std::string(text.begin(), end);
}

const TypeTree* ObjectTypeTree(const AssetFile& doc, std::uint32_t index) {
    const SerializedType* type = TypeOf(doc, index);
    return type != nullptr && type->hasTree ? &type->tree : nullptr;
}

std::u16string ClassName(const AssetFile& doc, std::uint32_t index) {
    if (index >= doc.entries.size()) {
        return {};
    }
    return ClassNameOf(TypeOf(doc, index), doc.entries[index].classId);
}

std::u16string ClassColumnText(const AssetFile& doc, std::uint32_t index) {
    if (!doc.metadata) {
        return index < doc.entries.size() ? HexWordText(doc.entries[index].typeId) : u"";
    }
    return ClassName(doc, index);
}

std::u16string PathIdText(const AssetFile& doc, const AssetEntry& entry) {
    if (!doc.metadata) {
        return DecimalText(static_cast<std::int32_t>(entry.pathId));
    }
    return DecimalText(entry.pathId);
}

std::optional<std::uint32_t> FindAssetByPathId(const AssetFile& doc, std::int64_t pathId) {
    // The 44-byte form's words are shown signed: -1 stands for 4294967295 there.
    const bool word = !doc.metadata && pathId >= INT32_MIN && pathId <= INT32_MAX;
    const std::int64_t asWord = word ? std::int64_t{static_cast<std::uint32_t>(pathId)} : pathId;
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        if (doc.entries[i].pathId == pathId || doc.entries[i].pathId == asWord) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> FindClassInFile(const AssetFile& doc, std::u16string_view text) {
    if (!doc.metadata) {
        return std::nullopt;
    }
    const std::vector<SerializedType>& types = doc.metadata->types;
    const std::uint32_t number = ReadTypeNumber(text);
    for (const SerializedType& type : types) {
        const bool byNumber = number != 0 && type.classId == static_cast<std::int32_t>(number);
        if (byNumber || CompareIgnoringAsciiCase(ClassNameOf(&type, type.classId), text) == 0) {
            return type.classId;
        }
    }
    return std::nullopt;
}

}  // namespace kestrova
