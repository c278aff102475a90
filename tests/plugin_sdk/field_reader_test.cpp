// The field reader against a small reference reader written here straight from the format's rules
// (a recursive walk over the pre-order nodes), on random trees and objects, whole and damaged; and
// the trees and objects it must refuse.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "sdk/field_values.h"
#include "tests/plugin_sdk/field_test_support.h"

namespace kestrova::testing {
namespace {

using Rng = std::mt19937;

int Width(const std::string& type) {
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

std::vector<std::size_t> Children(const TypeTree& tree, std::size_t i) {
    std::vector<std::size_t> children;
    for (std::size_t j = i + 1; j < tree.nodes.size() && tree.nodes[j].level > tree.nodes[i].level;
         ++j) {
        if (tree.nodes[j].level == tree.nodes[i].level + 1) {
            children.push_back(j);
        }
    }
    return children;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    AppendHex(text, {bytes, count});
    return text;
}

// Reads an object the plain way and lists every value as "path = width:bits" or "path = bytes".
class ReferenceReader {
public:
    ReferenceReader(const TypeTree& tree, const Bytes& object) : tree_(tree), bytes_(object) {}

    bool Read() {
        if (!Node(0, "")) {
            return false;
        }
        if (at_ != bytes_.size()) {
            return Stop("");
        }
        return true;
    }

    std::string dump;
    std::string failedPath;
    std::uint64_t failedAt = 0;

private:
    bool Stop(const std::string& path) {
        failedPath = path;
        failedAt = at_;
        return false;
    }
    bool Count(const std::string& path, std::uint32_t& count) {
        if (bytes_.size() - at_ < 4) {
            return Stop(path);
        }
        std::memcpy(&count, bytes_.data() + at_, 4);
        if (count > 0x7FFFFFFF || count > bytes_.size() - at_ - 4) {
            return Stop(path);
        }
        at_ += 4;
        return true;
    }
    bool IsArray(std::size_t i) const { return (tree_.nodes[i].typeFlags & 1) != 0; }
    bool Aligned(bool align, const std::string& path) {
        if (align) {
            const std::uint64_t next = (at_ + 3) / 4 * 4;
            if (next > bytes_.size()) {
                return Stop(path);
            }
            at_ = next;
        }
        return true;
    }

    bool Node(std::size_t i, const std::string& path) {
        const TypeTreeNode& node = tree_.nodes[i];
        const std::vector<std::size_t> children = Children(tree_, i);
        bool align = (node.metaFlag & kAlignAfterField) != 0;
        if (Width(node.type) > 0) {
            const auto width = static_cast<std::size_t>(Width(node.type));
            if (bytes_.size() - at_ < width) {
                return Stop(path);
            }
            std::uint64_t bits = 0;
            std::memcpy(&bits, bytes_.data() + at_, width);
            dump += path + " = " + std::to_string(width) + ":" + std::to_string(bits) + "\n";
            at_ += width;
        } else if (node.type == "string" || node.type == "TypelessData") {
            std::uint32_t count = 0;
            if (!Count(path, count)) {
                return false;
            }
            dump += path + " = " + Hex(bytes_.data() + at_, count) + "\n";
            at_ += count;
            align = align || (node.type == "string" &&
                              (tree_.nodes[children[0]].metaFlag & kAlignAfterField) != 0);
        } else if (children.size() == 1 && IsArray(children[0])) {
            if (!Array(children[0], path)) {
                return false;
            }
            align = align || (tree_.nodes[children[0]].metaFlag & kAlignAfterField) != 0;
        } else {
            for (std::size_t child : children) {
                if (!Node(child, path.empty() ? tree_.nodes[child].name
                                              : path + "." + tree_.nodes[child].name)) {
                    return false;
                }
            }
        }
        return Aligned(align, path);
    }

    bool Array(std::size_t i, const std::string& path) {
        const std::size_t data = Children(tree_, i)[1];
        std::uint32_t count = 0;
        if (!Count(path, count)) {
            return false;
        }
        const TypeTreeNode& element = tree_.nodes[data];
        if (Width(element.type) == 1 && element.type != "bool" &&
            (element.metaFlag & kAlignAfterField) == 0) {
            dump += path + " = " + Hex(bytes_.data() + at_, count) + "\n";
            at_ += count;
            return true;
        }
        for (std::uint32_t k = 0; k < count; ++k) {
            if (!Node(data, path + "[" + std::to_string(k) + "]")) {
                return false;
            }
        }
        return true;
    }

    const TypeTree& tree_;
    const Bytes& bytes_;
    std::uint64_t at_ = 0;
};

// The same list through the field reader's navigation: members, elements by index, payloads.
void Dump(const FieldReader& reader, FieldAt field, const std::string& path, std::string& out) {
    const FieldNode& node = reader.Node(field);
    switch (node.kind) {
        case FieldKind::Struct:
            for (const FieldAt& member : reader.Members(field)) {
                const std::string& name = reader.Node(member).name;
                Dump(reader, member, path.empty() ? name : path + "." + name, out);
            }
            break;
        case FieldKind::Array: {
            // Elements fetched backwards, so that indexed access is exercised, not a running scan.
            std::vector<std::string> elements(reader.Count(field));
            for (std::uint32_t k = reader.Count(field); k-- > 0;) {
                Dump(reader, reader.Element(field, k), path + "[" + std::to_string(k) + "]",
                     elements[k]);
            }
            for (const std::string& element : elements) {
                out += element;
            }
            break;
        }
        case FieldKind::String:
        case FieldKind::Bytes: {
            const std::span<const std::uint8_t> payload = reader.Payload(field);
            out += path + " = " + Hex(payload.data(), payload.size()) + "\n";
            break;
        }
        default:
            out += path + " = " + std::to_string(ScalarWidth(node.kind)) + ":" +
                   std::to_string(reader.ScalarBits(field)) + "\n";
    }
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
    Rng& rng() { return rng_; }

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

    Rng rng_;
};

TEST(FieldReader, AgreesWithTheReferenceOnRandomObjectsWholeAndDamaged) {
    RandomObjects random(20260517);
    for (int round = 0; round < 400; ++round) {
        const TypeTree tree = random.Tree();
        const FieldLayout layout = Compiled(tree);
        Bytes object = random.Object(tree);
        for (int damage = 0; damage < 4; ++damage) {
            SCOPED_TRACE("round " + std::to_string(round) + " damage " + std::to_string(damage));
            ReferenceReader reference(tree, object);
            const bool expected = reference.Read();
            const FieldReader reader(layout, object, ByteOrder::Little);
            const std::optional<FieldError> error = reader.Check();
            ASSERT_EQ(!error, expected) << (error ? error->Text() : "read");
            if (error) {
                EXPECT_EQ(error->path, reference.failedPath);
                EXPECT_EQ(error->offset, reference.failedAt);
            } else {
                std::string dump;
                Dump(reader, reader.Root(), "", dump);
                EXPECT_EQ(dump, reference.dump);
                EXPECT_EQ(ReplacePayload(reader, {~0u, ~0ull}, {}), object);
            }
            // Damage for the next turn: cut, lengthen, or overwrite a byte with a large one.
            if (!object.empty() && damage == 0) {
                object.resize(
                    static_cast<std::size_t>(random.Pick(0, static_cast<int>(object.size()) - 1)));
            } else if (damage == 1) {
                object.push_back(0);
            } else if (!object.empty()) {
                object[static_cast<std::size_t>(
                    random.Pick(0, static_cast<int>(object.size()) - 1))] =
                    static_cast<std::uint8_t>(random.Pick(0, 255));
            }
        }
    }
}

}  // namespace
}  // namespace kestrova::testing
