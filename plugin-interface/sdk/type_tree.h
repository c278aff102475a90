#pragma once
// A type tree: the description of one type's fields that a serialized file may keep beside its
// objects. The document's metadata reader fills it (from the blob form or the older recursive form,
// with the engine's common strings resolved); plug-ins receive it through the plug-in context; the
// field reader and writer walk it over an object's bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// After a field whose metaFlag has this bit, the reader aligns to 4 bytes from the object's start.
inline constexpr std::uint32_t kAlignAfterField = 0x4000;

struct TypeTreeNode {
    std::string type;  // "int", "string", "Array", "PPtr<Texture2D>", ...
    std::string name;  // "m_Name", "data", ...
    std::int32_t byteSize = 0;  // -1 when the size varies
    std::int32_t index = 0;
    std::uint32_t metaFlag = 0;
    std::uint16_t version = 0;
    std::uint8_t level = 0;      // nesting depth; the root is 0
    std::uint8_t typeFlags = 0;  // bit 0: an array
    std::uint64_t refTypeHash = 0;  // from format 19
};

// Nodes in pre-order: a node's children follow it, one level deeper.
struct TypeTree {
    std::vector<TypeTreeNode> nodes;
};

}  // namespace kestrova
