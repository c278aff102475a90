#pragma once
// What the full metadata reader keeps of a serialized file of formats 9 to 22 (every file that is
// not the exact 44-byte form): the header's fields, the engine version, the platform, the type
// list with its trees, the externals, and where the parts of the metadata lie, so that a rewrite
// can rebuild the object table and carry every other byte unchanged.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/type_tree.h"

namespace kestrova {

// Where the objects of one type keep m_Name: kNoNameField when they keep none that can be found
// without walking each object's fields. At offset 0 it is the name prefix of the asset.
inline constexpr std::uint32_t kNoNameField = 0xFFFFFFFF;

// One entry of the type list (or of the reference type list).
struct SerializedType {
    std::int32_t classId = 0;
    std::uint8_t stripped = 0;          // from format 16
    std::int16_t scriptTypeIndex = -1;  // from format 17
    bool hasScriptId = false;
    std::array<std::uint8_t, 16> scriptId{};
    std::array<std::uint8_t, 16> hash{};  // from format 13
    bool hasTree = false;
    TypeTree tree;
    std::vector<std::int32_t> dependencies;  // from format 21
    // Reference types name their class instead (from format 21).
    std::string className;
    std::string nameSpace;
    std::string assemblyName;
    // Found once per type from the tree, or from the class for files without trees.
    std::uint32_t nameField = kNoNameField;
    std::uint32_t objectCount = 0;
};

// A file that objects of this file refer to.
struct ExternalFile {
    std::string tempEmpty;  // from format 6; empty in every file seen
    std::array<std::uint8_t, 16> guid{};
    std::int32_t type = 0;
    std::string path;
};

struct SerializedMetadata {
    std::uint32_t format = 0;
    bool bigEndian = false;
    std::string engineVersion;
    std::uint32_t platform = 0;
    bool typeTreesKept = false;  // enableTypeTree from format 13; always before
    std::vector<SerializedType> types;
    std::int32_t bigIdEnabled = 0;  // formats 7 to 13
    std::uint32_t scriptTypeCount = 0;
    std::vector<ExternalFile> externals;
    std::vector<SerializedType> referenceTypes;  // from format 20
    std::string userInformation;

    // The header: 20 bytes, 48 in format 22 (whose sizes and offsets are 64-bit).
    std::uint32_t headerSize = 0;
    std::uint64_t metadataSize = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t dataOffset = 0;
    // Where the object table lies (from its count word to after its last record), counted from
    // the serialized file's first byte. Everything else between the header and the end of the
    // metadata is carried unchanged by a rewrite.
    std::uint64_t objectTableStart = 0;
    std::uint64_t objectTableEnd = 0;

    std::uint64_t metadataEnd() const { return headerSize + metadataSize; }
};

}  // namespace kestrova
