#pragma once
// Type trees and objects for the field reader's tests, written the way files store them: nodes in
// pre-order with levels, object bytes field by field with the engine's alignment.

#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

class TreeBuilder {
public:
    TreeBuilder& Add(int level, std::string type, std::string name, bool align = false,
                     std::int32_t byteSize = -1, std::uint8_t typeFlags = 0) {
        TypeTreeNode node;
        node.level = static_cast<std::uint8_t>(level);
        node.type = std::move(type);
        node.name = std::move(name);
        node.metaFlag = align ? kAlignAfterField : 0;
        node.byteSize = byteSize;
        node.typeFlags = typeFlags;
        tree_.nodes.push_back(std::move(node));
        return *this;
    }
    // A string as the engine describes it: the characters in an array, aligned after.
    TreeBuilder& String(int level, std::string name) {
        Add(level, "string", std::move(name), true);
        Add(level + 1, "Array", "Array", false, -1, 1);
        Add(level + 2, "int", "size", false, 4);
        return Add(level + 2, "char", "data", false, 1);
    }
    // The array node and its size; the element's nodes follow at level + 2.
    TreeBuilder& ArrayOf(int level, bool align = false) {
        Add(level, "Array", "Array", align, -1, 1);
        return Add(level + 1, "int", "size", false, 4);
    }
    // vector<elementType> with a primitive element.
    TreeBuilder& Vector(int level, std::string name, const std::string& elementType,
                        bool align = false) {
        Add(level, "vector", std::move(name), align);
        ArrayOf(level + 1);
        return Add(level + 2, elementType, "data");
    }
    TypeTree Build() const { return tree_; }

private:
    TypeTree tree_;
};

// Object bytes in either byte order; Align pads with zeros to a multiple of 4.
class ObjectBuilder {
public:
    explicit ObjectBuilder(ByteOrder order = ByteOrder::Little) : order_(order) {}

    ObjectBuilder& Unsigned(std::uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            const unsigned shift = order_ == ByteOrder::Little ? 8 * i : 8 * (width - 1 - i);
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
        return *this;
    }
    ObjectBuilder& U8(std::uint8_t v) { return Unsigned(v, 1); }
    ObjectBuilder& I32(std::int32_t v) { return Unsigned(static_cast<std::uint32_t>(v), 4); }
    ObjectBuilder& I64(std::int64_t v) { return Unsigned(static_cast<std::uint64_t>(v), 8); }
    ObjectBuilder& F32(float v) { return Unsigned(std::bit_cast<std::uint32_t>(v), 4); }
    ObjectBuilder& F64(double v) { return Unsigned(std::bit_cast<std::uint64_t>(v), 8); }
    ObjectBuilder& Raw(std::string_view bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // A string's length and bytes, then the padding after it.
    ObjectBuilder& Str(std::string_view text) {
        return I32(static_cast<std::int32_t>(text.size())).Raw(text).Align();
    }
    ObjectBuilder& Align() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
        return *this;
    }
    Bytes Build() const { return bytes_; }

private:
    ByteOrder order_;
    Bytes bytes_;
};

// A layout that must compile.
inline FieldLayout Compiled(const TypeTree& tree) {
    std::string error;
    std::optional<FieldLayout> layout = FieldLayout::Compile(tree, error);
    if (!layout) {
        throw std::runtime_error(error);
    }
    return std::move(*layout);
}

}  // namespace kestrova::testing
