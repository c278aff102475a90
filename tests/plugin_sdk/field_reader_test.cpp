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

struct PayloadField {
    std::string line;  // as the dump lists it
    FieldAt field;
};

// The same list through the field reader's navigation: members, elements by index, payloads.
// Strings and byte runs are also collected in `payloads`.
void Dump(const FieldReader& reader, FieldAt field, const std::string& path, std::string& out,
          std::vector<PayloadField>& payloads) {
    const FieldNode& node = reader.Node(field);
    switch (node.kind) {
        case FieldKind::Struct:
            for (const FieldAt& member : reader.Members(field)) {
                const std::string& name = reader.Node(member).name;
                Dump(reader, member, path.empty() ? name : path + "." + name, out, payloads);
            }
            break;
        case FieldKind::Array: {
            // Elements fetched backwards, so that indexed access is exercised, not a running scan.
            std::vector<std::string> elements(reader.Count(field));
            for (std::uint32_t k = reader.Count(field); k-- > 0;) {
                Dump(reader, reader.Element(field, k), path + "[" + std::to_string(k) + "]",
                     elements[k], payloads);
            }
            for (const std::string& element : elements) {
                out += element;
            }
            break;
        }
        case FieldKind::String:
        case FieldKind::Bytes: {
            const std::span<const std::uint8_t> payload = reader.Payload(field);
            const std::string line = path + " = " + Hex(payload.data(), payload.size()) + "\n";
            payloads.push_back({line, field});
            out += line;
            break;
        }
        default:
            out += path + " = " + std::to_string(ScalarWidth(node.kind)) + ":" +
                   std::to_string(reader.ScalarBits(field)) + "\n";
    }
}

// A string or byte run given new bytes: the object reads, and only that value differs.
void ExpectReplaced(const TypeTree& tree, const FieldReader& reader, const PayloadField& chosen,
                    const std::string& dump, const Bytes& payload) {
    const Bytes changed = ReplacePayload(reader, chosen.field, payload);
    ReferenceReader reference(tree, changed);
    ASSERT_TRUE(reference.Read()) << "stopped at " << reference.failedPath;
    std::string expected = dump;
    const std::string path = chosen.line.substr(0, chosen.line.find(" = "));
    expected.replace(expected.find(chosen.line), chosen.line.size(),
                     path + " = " + Hex(payload.data(), payload.size()) + "\n");
    EXPECT_EQ(reference.dump, expected);
}

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
                std::vector<PayloadField> payloads;
                Dump(reader, reader.Root(), "", dump, payloads);
                EXPECT_EQ(dump, reference.dump);
                EXPECT_EQ(ReplacePayload(reader, {~0u, ~0ull}, {}), object);
                if (!payloads.empty()) {
                    ExpectReplaced(tree, reader,
                                   payloads[static_cast<std::size_t>(
                                       random.Pick(0, static_cast<int>(payloads.size()) - 1))],
                                   dump, Bytes(static_cast<std::size_t>(random.Pick(0, 9)), 0x5A));
                }
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

TEST(FieldReader, RefusesTreesItCannotWalk) {
    TreeBuilder deep;
    for (int level = 0; level <= kMaxFieldDepth + 1; ++level) {
        deep.Add(level, "S", "s");
    }
    struct Case {
        const char* what;
        TypeTree tree;
        const char* message;
    };
    const Case cases[] = {
        {"no nodes", TypeTree{}, "no nodes"},
        {"a level that jumps", TreeBuilder().Add(0, "Base", "Base").Add(2, "int", "x").Build(),
         "node 1 (\"x\" of type \"int\"): its level 2 jumps from 0"},
        {"a second root",
         TreeBuilder().Add(0, "Base", "Base").Add(1, "int", "x").Add(0, "B", "b").Build(),
         "node 2 (\"b\" of type \"B\"): it is a second root"},
        {"nesting too deep", deep.Build(), "nests deeper than 96 levels"},
        {"an array without its data",
         TreeBuilder().Add(0, "Base", "Base").Add(1, "vector", "v").ArrayOf(2).Build(),
         "an array needs exactly a size and a data node, it has 1 children"},
        {"an array sized by a float",
         TreeBuilder()
             .Add(0, "Base", "Base")
             .Add(1, "Array", "a", false, -1, 1)
             .Add(2, "float", "size")
             .Add(2, "int", "data")
             .Build(),
         "node 2 (\"size\" of type \"float\"): an array's size must be a 32-bit integer"},
        {"a leaf of unknown size",
         TreeBuilder().Add(0, "Base", "Base").Add(1, "Matrix3x3", "m", false, 36).Build(),
         "a field of this type and size 36 cannot be read"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(FieldLayout::Compile(c.tree, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

TEST(FieldReader, SaysWhereAnObjectStopsReading) {
    const FieldLayout layout = Compiled(TreeBuilder()
                                            .Add(0, "Base", "Base")
                                            .String(1, "m_Name")
                                            .Add(1, "bool", "m_On", true)
                                            .Vector(1, "m_Values", "float")
                                            .Build());
    struct Case {
        Bytes object;
        const char* text;
    };
    const Case cases[] = {
        {ObjectBuilder().Str("ab").U8(1).Align().I32(-1).Build(),
         "m_Values (byte 12): the count -1 is negative"},
        {ObjectBuilder().Str("ab").U8(1).Align().I32(3).F32(1).F32(2).Build(),
         "m_Values[2] (byte 24): a float needs 4 bytes; 0 are left"},
        {ObjectBuilder().I32(99).Raw("ab").Build(),
         "m_Name (byte 0): the count 99 exceeds the 2 bytes left"},
        {ObjectBuilder().Str("ab").U8(1).Build(),
         "m_On (byte 9): the object ends inside the padding"},
        {ObjectBuilder().Str("ab").U8(1).Align().I32(0).I32(7).Build(),
         "The object (byte 16): the fields end here, but the object holds 20 bytes"},
    };
    for (const Case& c : cases) {
        const std::optional<FieldError> error =
            FieldReader(layout, c.object, ByteOrder::Little).Check();
        ASSERT_TRUE(error) << c.text;
        EXPECT_EQ(error->Text(), c.text);
    }
}

TEST(FieldReader, ReadsBigEndianObjects) {
    const FieldLayout layout = Compiled(TreeBuilder()
                                            .Add(0, "Base", "Base")
                                            .Add(1, "SInt16", "m_Short", true)
                                            .String(1, "m_Name")
                                            .Vector(1, "m_Ids", "SInt64")
                                            .Add(1, "double", "m_Scale")
                                            .Build());
    const Bytes object = ObjectBuilder(ByteOrder::Big)
                             .Unsigned(0xFFFE, 2)
                             .Align()
                             .Str("big")
                             .I32(2)
                             .I64(-3)
                             .I64(0x0102030405060708)
                             .F64(0.5)
                             .Build();
    const FieldReader reader(layout, object, ByteOrder::Big);
    ASSERT_FALSE(reader.Check());
    const std::vector<FieldAt> members = reader.Members(reader.Root());
    EXPECT_EQ(ScalarText(FieldKind::SInt16, reader.ScalarBits(members[0])), "-2");
    EXPECT_EQ(reader.Payload(members[1]).size(), 3u);
    EXPECT_EQ(ScalarText(FieldKind::SInt64, reader.ScalarBits(reader.Element(members[2], 1))),
              "72623859790382856");
    EXPECT_EQ(ScalarText(FieldKind::Double, reader.ScalarBits(members[3])), "0.5");
    // Rewritten with a longer name, the later fields keep their big-endian bytes.
    const Bytes renamed = ReplacePayload(reader, members[1], Bytes{'b', 'i', 'g', 'g', 'e', 'r'});
    EXPECT_EQ(renamed, ObjectBuilder(ByteOrder::Big)
                           .Unsigned(0xFFFE, 2)
                           .Align()
                           .Str("bigger")
                           .I32(2)
                           .I64(-3)
                           .I64(0x0102030405060708)
                           .F64(0.5)
                           .Build());
}

}  // namespace
}  // namespace kestrova::testing
