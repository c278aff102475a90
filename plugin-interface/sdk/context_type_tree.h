#pragma once
// The type tree in the plug-in context's C layout (kestrova_plugin.h) and back: the host flattens
// its TypeTree into nodes and one string buffer; a plug-in turns what it was given into a TypeTree,
// checking every offset first.

#include <optional>
#include <string>
#include <vector>

#include "kestrova_plugin.h"
#include "sdk/type_tree.h"

namespace kestrova {

// A tree in the C layout with the storage its pointers point into. Moving it keeps them valid;
// view() is to be taken again after a copy.
struct FlatTypeTree {
    std::vector<KestrovaTypeTreeNode> nodes;
    std::string strings;  // each text zero-terminated, every text stored once

    KestrovaTypeTree view() const;
};

FlatTypeTree FlattenTypeTree(const TypeTree& tree);

// A copy of the context's tree; nothing, with `error` saying why, when a pointer is missing or an
// offset points outside the strings or at a text without its terminator.
std::optional<TypeTree> TypeTreeFromContext(const KestrovaTypeTree& tree, std::string& error);

}  // namespace kestrova
