#include "document/type_tree_reader.h"

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "document/serialized_metadata.h"

namespace kestrova {

namespace {

// The engine's common strings, in their order: a tree's offset with bit 31 set counts bytes in
// this text. Later engine versions only ever appended to it.
constexpr char kCommonStrings[] =
    "AABB\0AnimationClip\0AnimationCurve\0AnimationState\0Array\0Base\0BitField\0bitset\0bool\0"
    "char\0ColorRGBA\0Component\0data\0deque\0double\0dynamic_array\0FastPropertyName\0first\0"
    "float\0Font\0GameObject\0Generic Mono\0GradientNEW\0GUID\0GUIStyle\0int\0list\0long long\0"
    "map\0Matrix4x4f\0MdFour\0MonoBehaviour\0MonoScript\0m_ByteSize\0m_Curve\0"
    "m_EditorClassIdentifier\0m_EditorHideFlags\0m_Enabled\0m_ExtensionPtr\0m_GameObject\0"
    "m_Index\0m_IsArray\0m_IsStatic\0m_MetaFlag\0m_Name\0m_ObjectHideFlags\0m_PrefabInternal\0"
    "m_PrefabParentObject\0m_Script\0m_StaticEditorFlags\0m_Type\0m_Version\0Object\0pair\0"
    "PPtr<Component>\0PPtr<GameObject>\0PPtr<Material>\0PPtr<MonoBehaviour>\0PPtr<MonoScript>\0"
    "PPtr<Object>\0PPtr<Prefab>\0PPtr<Sprite>\0PPtr<TextAsset>\0PPtr<Texture>\0PPtr<Texture2D>\0"
    "PPtr<Transform>\0Prefab\0Quaternionf\0Rectf\0RectInt\0RectOffset\0second\0set\0short\0size\0"
    "SInt16\0SInt32\0SInt64\0SInt8\0staticvector\0string\0TextAsset\0TextMesh\0Texture\0"
    "Texture2D\0Transform\0TypelessData\0UInt16\0UInt32\0UInt64\0UInt8\0unsigned int\0"
    "unsigned long long\0unsigned short\0vector\0Vector2f\0Vector3f\0Vector4f\0"
    "m_ScriptingClassIdentifier\0Gradient\0Type*\0int2_storage\0int3_storage\0BoundsInt\0"
    "m_CorrespondingSourceObject\0m_PrefabInstance\0m_PrefabAsset\0FileSize\0Hash128\0"
    "RenderingLayerMask";

constexpr std::uint32_t kCommonBit = 0x80000000u;

std::u16string Number(std::uint64_t value) {
    return DecimalText(static_cast<std::int64_t>(value));
}

Outcome Refuse(std::u16string_view what, const std::u16string& problem, std::uint32_t format) {
    return Outcome::Failure(u"The type tree of " + std::u16string(what) + u" " + problem +
                            u" (format " + Number(format) + u").");
}

// A string of the blob form: in the common table, or in the tree's own buffer.
Outcome BlobString(std::uint32_t offset, std::span<const std::uint8_t> buffer,
                   std::u16string_view what, std::uint32_t format, std::string& out) {
    if ((offset & kCommonBit) != 0) {
        std::string_view common = CommonString(offset & ~kCommonBit);
        // A name this table does not know comes from an engine newer than the table: keep the
        // tree, naming the string by its number.
        out = common.empty() ? "(common string " + std::to_string(offset & ~kCommonBit) + ")"
                             : std::string(common);
        return Outcome::Success();
    }
    if (offset >= buffer.size()) {
        return Refuse(what,
                      u"has the string offset " + Number(offset) +
                          u", outside its string buffer of " + Number(buffer.size()) + u" bytes",
                      format);
    }
    const std::span<const std::uint8_t> rest = buffer.subspan(offset);
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (end == rest.end()) {
        return Refuse(
            what,
            u"has a string at offset " + Number(offset) + u" that runs past its string buffer",
            format);
    }
    out.assign(reinterpret_cast<const char*>(rest.data()),
               static_cast<std::size_t>(end - rest.begin()));
    return Outcome::Success();
}

Outcome ReadBlob(OrderedReader& in, std::uint32_t format, std::u16string_view what,
                 TypeTree& tree) {
    std::int32_t nodeCount = 0;
    std::int32_t bufferSize = 0;
    if (!in.Read(nodeCount) || !in.Read(bufferSize)) {
        return Refuse(what, u"is cut short by the end of the metadata", format);
    }
    const std::uint64_t nodeSize = format >= 19 ? 32 : 24;
    if (nodeCount < 0 || bufferSize < 0 ||
        static_cast<std::uint64_t>(nodeCount) > in.remaining() / nodeSize ||
        static_cast<std::uint64_t>(bufferSize) >
            in.remaining() - static_cast<std::uint64_t>(nodeCount) * nodeSize) {
        return Refuse(what,
                      u"has " + DecimalText(nodeCount) + u" nodes and a string buffer of " +
                          DecimalText(bufferSize) + u" bytes, more than its metadata holds",
                      format);
    }
    struct Offsets {
        std::uint32_t type = 0;
        std::uint32_t name = 0;
    };
    std::vector<Offsets> offsets(static_cast<std::size_t>(nodeCount));
    tree.nodes.assign(static_cast<std::size_t>(nodeCount), TypeTreeNode{});
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        TypeTreeNode& node = tree.nodes[i];
        in.Read(node.version);
        in.Read(node.level);
        in.Read(node.typeFlags);
        in.Read(offsets[i].type);
        in.Read(offsets[i].name);
        in.Read(node.byteSize);
        in.Read(node.index);
        in.Read(node.metaFlag);
        if (format >= 19) {
            in.Read(node.refTypeHash);
        }
        // The first node is the root; every other one nests at most one level below the one
        // before it.
        const bool nested =
            i == 0 ? node.level == 0 : node.level >= 1 && node.level <= tree.nodes[i - 1].level + 1;
        if (!nested) {
            return Refuse(what,
                          u"puts node " + Number(i) + u" at level " + Number(node.level) +
                              u", which does not nest under the nodes before it",
                          format);
        }
    }
    std::span<const std::uint8_t> buffer = in.bytes().View(static_cast<std::uint64_t>(bufferSize));
    in.bytes().Skip(static_cast<std::uint64_t>(bufferSize));
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (Outcome o = BlobString(offsets[i].type, buffer, what, format, tree.nodes[i].type); !o) {
            return o;
        }
        if (Outcome o = BlobString(offsets[i].name, buffer, what, format, tree.nodes[i].name); !o) {
            return o;
        }
    }
    return Outcome::Success();
}

// The recursive form, read with a stack of the children still to come at each level, so that a
// deep tree cannot exhaust the program's own stack.
Outcome ReadRecursive(OrderedReader& in, std::uint32_t format, std::u16string_view what,
                      TypeTree& tree) {
    // Two terminators and six words: the least a node takes.
    constexpr std::uint64_t kLeastNode = 26;
    constexpr std::size_t kDeepest = 255;  // a node's level is one byte
    std::vector<std::int32_t> pending = {1};
    tree.nodes.clear();
    while (!pending.empty()) {
        if (pending.back() == 0) {
            pending.pop_back();
            continue;
        }
        --pending.back();
        TypeTreeNode node;
        node.level = static_cast<std::uint8_t>(pending.size() - 1);
        std::int32_t isArray = 0;
        std::int32_t version = 0;
        std::int32_t children = 0;
        if (!in.ReadText(node.type) || !in.ReadText(node.name) || !in.Read(node.byteSize) ||
            !in.Read(node.index) || !in.Read(isArray) || !in.Read(version) ||
            !in.Read(node.metaFlag) || !in.Read(children)) {
            return Refuse(
                what,
                u"is cut short by the end of the metadata at node " + Number(tree.nodes.size()),
                format);
        }
        node.typeFlags = isArray != 0 ? 1 : 0;
        node.version = static_cast<std::uint16_t>(version);
        if (children < 0 || static_cast<std::uint64_t>(children) > in.remaining() / kLeastNode) {
            return Refuse(what,
                          u"gives node " + Number(tree.nodes.size()) + u" " +
                              DecimalText(children) + u" children, more than its metadata holds",
                          format);
        }
        if (children > 0 && pending.size() > kDeepest) {
            return Refuse(what, u"nests deeper than " + Number(kDeepest) + u" levels", format);
        }
        tree.nodes.push_back(std::move(node));
        pending.push_back(children);
    }
    return Outcome::Success();
}

}  // namespace

Outcome ReadTypeTree(OrderedReader& in, std::uint32_t format, std::u16string_view what,
                     TypeTree& tree) {
    if (format == 10 || format >= 12) {
        return ReadBlob(in, format, what, tree);
    }
    return ReadRecursive(in, format, what, tree);
}

std::string_view CommonString(std::uint32_t offset) {
    const std::string_view table(kCommonStrings, sizeof kCommonStrings - 1);
    if (offset >= table.size() || (offset > 0 && table[offset - 1] != '\0')) {
        return {};
    }
    const std::string_view rest = table.substr(offset);
    return rest.substr(0, rest.find('\0'));
}

std::uint32_t NameFieldOffset(const TypeTree& tree) {
    const std::vector<TypeTreeNode>& nodes = tree.nodes;
    std::uint64_t offset = 0;
    for (std::size_t i = 1; i < nodes.size() && nodes[i].level >= 1; ++i) {
        const TypeTreeNode& field = nodes[i];
        if (field.level != 1) {
            continue;
        }
        if (field.name == "m_Name") {
            return field.type == "string" ? static_cast<std::uint32_t>(offset) : kNoNameField;
        }
        // A field of fixed size, with no array and no alignment inside it, takes the same bytes
        // in every object.
        if (field.byteSize < 0 || (field.typeFlags & 1) != 0) {
            return kNoNameField;
        }
        for (std::size_t k = i + 1; k < nodes.size() && nodes[k].level > 1; ++k) {
            if ((nodes[k].typeFlags & 1) != 0 || (nodes[k].metaFlag & kAlignAfterField) != 0) {
                return kNoNameField;
            }
        }
        offset += static_cast<std::uint64_t>(field.byteSize);
        if ((field.metaFlag & kAlignAfterField) != 0) {
            offset = RoundUp4(offset);
        }
        if (offset >= kNoNameField) {
            return kNoNameField;
        }
    }
    return kNoNameField;
}

}  // namespace kestrova
