#pragma once
// The body of a TextAsset or a Shader: a text stored as a 32-bit length, its bytes and zero
// padding to a multiple of 4, then bytes that belong to the asset and are kept as they are.

#include <optional>
#include <string>

#include "plugins/support/body_bytes.h"
#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::text {

using plugin::Bytes;
using plugin::ByteSpan;

struct TextBody {
    plugin::AlignedBlock text;
    ByteSpan rest;  // every byte after the text's padding
};

// Reads `body`; the views of `out` point into it. A body too short for its text's length is
// refused, with `error` saying why, and so is a body whose "text" holds zero bytes while far
// more follows it (a later engine version's compiled shader).
bool ParseTextBody(ByteSpan body, TextBody& out, std::string& error);

// Where the file keeps a type tree for the class: why `object` (the name prefix of
// `prefixLength` bytes, then the body) is not a text body in the sense of ParseTextBody, or
// nullopt when it is. It is when the object reads exactly through the tree and its text field,
// m_Script, is the first field after the name.
std::optional<std::string> CheckTextFieldByTree(ByteSpan object, std::size_t prefixLength,
                                                const TypeTree& tree, ByteOrder order);

// The body with `text` in place of the stored text: length and padding rebuilt, the rest kept.
Bytes BuildTextBody(const TextBody& stored, ByteSpan text);

}  // namespace kestrova::text
