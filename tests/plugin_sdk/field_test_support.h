#pragma once
// Type trees and objects for the field reader's tests, written the way files store them: nodes in
// pre-order with levels, object bytes field by field with the engine's alignment.

#include <bit>
#include <cstdint>
#include <random>
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

// The byte count of a primitive type the tests use; 0 for the others.
inline int Width(const std::string& type) {
    static const std::vector<std::pair<std::string, int>> widths = {
        {"bool", 1}, {"UInt8", 1},  {"SInt8", 1}, {"char", 1},   {"SInt16", 2}, {"UInt16", 2},
        {"int", 4},  {"UInt32", 4}, {"float", 4}, {"SInt64", 8}, {"UInt64", 8}, {"double", 8}};
    for (const auto& [name, width] : widths) {
        if (name == type) {
            return width;
        }
    }
    return 0;
}

// The direct children of node i.
inline std::vector<std::size_t> Children(const TypeTree& tree, std::size_t i) {
    std::vector<std::size_t> children;
    for (std::size_t j = i + 1; j < tree.nodes.size() && tree.nodes[j].level > tree.nodes[i].level;
         ++j) {
        if (tree.nodes[j].level == tree.nodes[i].level + 1) {
            children.push_back(j);
        }
    }
    return children;
}

// Random types and objects that fit them.
class RandomObjects {
public:
    explicit RandomObjects(unsigned seed) : rng_(seed) {}

    TypeTree Tree() {
        TreeBuilder b;
        b.Add(0, "Root", "Base");
        const int members = Pick(1, 5);
        for (int m = 0; m < members; ++m) {
            Type(b, 1, "m_" + std::to_string(m), 3);
        }
        return b.Build();
    }

    // Values for every node, with small arrays and now and then a large one.
    Bytes Object(const TypeTree& tree) {
        ObjectBuilder o;
        Fill(tree, 0, o);
        return o.Build();
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

private:
    void Type(TreeBuilder& b, int level, const std::string& name, int budget) {
        static const char* primitives[] = {"bool",   "UInt8", "SInt16", "UInt16", "int",
                                           "UInt32", "float", "SInt64", "UInt64", "double"};
        const bool align = Pick(0, 3) == 0;
        switch (budget > 0 ? Pick(0, 6) : 0) {
            case 0:
            case 1:
                b.Add(level, primitives[Pick(0, 9)], name, align);
                break;
            case 2:
                b.String(level, name);
                break;
            case 3:
                b.Add(level, "TypelessData", name, align);
                b.Add(level + 1, "int", "size").Add(level + 1, "UInt8", "data");
                break;
            case 4:
                b.Add(level, "vector", name, align);
                b.ArrayOf(level + 1, Pick(0, 2) == 0);
                Type(b, level + 2, "data", budget - 1);
                break;
            case 5:
                b.Add(level, "map", name, align);
                b.ArrayOf(level + 1);
                b.Add(level + 2, "pair", "data");
                Type(b, level + 3, "first", 0);
                Type(b, level + 3, "second", budget - 1);
                break;
            default: {
                b.Add(level, "S" + std::to_string(level), name, align);
                const int members = Pick(1, 3);
                for (int m = 0; m < members; ++m) {
                    Type(b, level + 1, "f" + std::to_string(m), budget - 1);
                }
            }
        }
    }

    void Fill(const TypeTree& tree, std::size_t i, ObjectBuilder& o) {
        const TypeTreeNode& node = tree.nodes[i];
        const std::vector<std::size_t> children = Children(tree, i);
        bool align = (node.metaFlag & kAlignAfterField) != 0;
        if (const int width = Width(node.type); width > 0) {
            o.Unsigned(rng_() | (std::uint64_t{rng_()} << 32), static_cast<unsigned>(width));
        } else if (node.type == "string" || node.type == "TypelessData") {
            std::string text(static_cast<std::size_t>(Pick(0, 6)), 'a');
            for (char& c : text) {
                c = static_cast<char>(Pick(0, 255));
            }
            o.I32(static_cast<std::int32_t>(text.size())).Raw(text);
            align = align || node.type == "string";
        } else if (children.size() == 1 && (tree.nodes[children[0]].typeFlags & 1) != 0) {
            const int count = Pick(0, 40) == 0 ? Pick(250, 400) : Pick(0, 4);
            o.I32(count);
            for (int k = 0; k < count; ++k) {
                Fill(tree, Children(tree, children[0])[1], o);
            }
            align = align || (tree.nodes[children[0]].metaFlag & kAlignAfterField) != 0;
        } else {
            for (std::size_t child : children) {
                Fill(tree, child, o);
            }
        }
        if (align) {
            o.Align();
        }
    }

    std::mt19937 rng_;
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
