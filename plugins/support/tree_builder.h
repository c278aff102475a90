#pragma once
// Type trees made in code, for the files that keep none: the layout a class has in an engine
// version, read and written by the same field reader as a tree the file keeps.

#include <cstdint>
#include <utility>

#include "sdk/type_tree.h"

namespace kestrova::plugin {

// Appends nodes in pre-order; every field's level is given by the depth it is added at.
class TreeBuilder {
public:
    void Field(std::uint8_t level, const char* type, const char* name, std::int32_t size,
               bool align = false) {
        TypeTreeNode node;
        node.type = type;
        node.name = name;
        node.byteSize = size;
        node.level = level;
        node.metaFlag = align ? kAlignAfterField : 0;
        node.index = static_cast<std::int32_t>(tree_.nodes.size());
        tree_.nodes.push_back(std::move(node));
    }
    void String(std::uint8_t level, const char* name) { Field(level, "string", name, -1, true); }
    // A vector of bytes: the vector, its array, the array's size and data.
    void ByteVector(std::uint8_t level, const char* name) {
        Field(level, "vector", name, -1, true);
        Field(level + 1, "Array", "Array", -1);
        tree_.nodes.back().typeFlags = 1;
        Field(level + 2, "int", "size", 4);
        Field(level + 2, "UInt8", "data", 1);
    }
    // Marks the last field as aligned after it.
    void Align() { tree_.nodes.back().metaFlag |= kAlignAfterField; }
    TypeTree Take() { return std::move(tree_); }

private:
    TypeTree tree_;
};

}  // namespace kestrova::plugin
