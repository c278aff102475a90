#include "sdk/context_type_tree.h"

#include <algorithm>
#include <unordered_map>

#include "sdk/byte_reader.h"

namespace kestrova {

namespace {

// The text at `offset`, when the buffer holds it with its terminator.
std::optional<std::string> TextAt(const KestrovaTypeTree& tree, std::uint32_t offset) {
    ByteReader reader({reinterpret_cast<const std::uint8_t*>(tree.strings), tree.stringsLength});
    if (!reader.Seek(offset)) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> rest = reader.TakeRest();
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (end == rest.end()) {
        return std::nullopt;
    }
    return std::string(rest.begin(), end);
}

}  // namespace

KestrovaTypeTree FlatTypeTree::view() const {
    KestrovaTypeTree tree{};
    tree.nodeCount = static_cast<std::uint32_t>(nodes.size());
    tree.stringsLength = static_cast<std::uint32_t>(strings.size());
    tree.nodes = nodes.data();
    tree.strings = strings.data();
    return tree;
}

FlatTypeTree FlattenTypeTree(const TypeTree& tree) {
    FlatTypeTree flat;
    std::unordered_map<std::string, std::uint32_t> stored;
    auto offsetOf = [&](const std::string& text) {
        auto [entry, added] =
            stored.try_emplace(text, static_cast<std::uint32_t>(flat.strings.size()));
        if (added) {
            flat.strings.append(text);
            flat.strings.push_back('\0');
        }
        return entry->second;
    };
    flat.nodes.reserve(tree.nodes.size());
    for (const TypeTreeNode& node : tree.nodes) {
        KestrovaTypeTreeNode c{};
        c.version = node.version;
        c.level = node.level;
        c.typeFlags = node.typeFlags;
        c.typeOffset = offsetOf(node.type);
        c.nameOffset = offsetOf(node.name);
        c.byteSize = node.byteSize;
        c.index = node.index;
        c.metaFlag = node.metaFlag;
        c.refTypeHash = node.refTypeHash;
        flat.nodes.push_back(c);
    }
    return flat;
}

std::optional<TypeTree> TypeTreeFromContext(const KestrovaTypeTree& tree, std::string& error) {
    if ((tree.nodeCount > 0 && tree.nodes == nullptr) ||
        (tree.stringsLength > 0 && tree.strings == nullptr)) {
        error = "The type tree given by the host lacks its nodes or its strings.";
        return std::nullopt;
    }
    TypeTree copy;
    copy.nodes.reserve(tree.nodeCount);
    for (std::uint32_t i = 0; i < tree.nodeCount; ++i) {
        const KestrovaTypeTreeNode& c = tree.nodes[i];
        std::optional<std::string> type = TextAt(tree, c.typeOffset);
        std::optional<std::string> name = TextAt(tree, c.nameOffset);
        if (!type || !name) {
            error =
                "Type tree node " + std::to_string(i) + " names a text outside the tree's strings.";
            return std::nullopt;
        }
        TypeTreeNode& node = copy.nodes.emplace_back();
        node.type = std::move(*type);
        node.name = std::move(*name);
        node.byteSize = c.byteSize;
        node.index = c.index;
        node.metaFlag = c.metaFlag;
        node.version = c.version;
        node.level = c.level;
        node.typeFlags = c.typeFlags;
        node.refTypeHash = c.refTypeHash;
    }
    return copy;
}

}  // namespace kestrova
