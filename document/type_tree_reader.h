#pragma once
// Reading the type trees that a serialized file keeps beside its types: the blob form (format 10
// and from 12: nodes, then a string buffer whose offsets may point into the engine's common
// strings) and the older recursive form (formats 9 and 11).

#include <cstdint>
#include <string>
#include <string_view>

#include "common/outcome.h"
#include "document/ordered_bytes.h"
#include "sdk/type_tree.h"

namespace kestrova {

// Reads one tree at the reader's position. `what` names the tree's type in a refusal ("type 3").
// Counts, string offsets and nesting that the metadata cannot hold are refused.
Outcome ReadTypeTree(OrderedReader& in, std::uint32_t format, std::u16string_view what,
                     TypeTree& tree);

// The engine's built-in string at `offset` of its common string table, or empty when no string
// starts there.
std::string_view CommonString(std::uint32_t offset);

// Where m_Name lies in every object of a type with this tree: among the root's fields, after
// fields of fixed size only (so that no object's fields need walking); kNoNameField otherwise.
std::uint32_t NameFieldOffset(const TypeTree& tree);

}  // namespace kestrova
