#pragma once
// Reader of the small XML-like markup of plug-in descriptors and mod templates.
//
// The language is whatever this one-pass, character-by-character reader accepts: elements,
// name="value" attributes, text, comments and a leading <?...?> declaration; no entities, no
// character references, no CDATA, no single-quoted values, and end tags close whatever element is
// open without their name being examined. Files written for the system keep one element per line,
// which the reader relies on (it consumes the one character that follows an element's end).
//
// Input bytes are the characters U+0000-U+00FF. A CR LF pair reads as one LF, and every LF in an
// element's text is stored as CR LF.
//
// Capacities count code units including a terminator, as fixed fields would: a name holds at most
// nameCapacity - 1 code units, a text 2047 and an attribute value 511. Characters beyond that are
// read and dropped (a line break in a text is stored whole or not at all). Elements nested deeper
// than maxDepth are read in the same way but not stored, so any input yields a bounded tree.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

inline constexpr std::size_t kMarkupTextCapacity = 2048;
inline constexpr std::size_t kMarkupValueCapacity = 512;

struct MarkupLimits {
    // Capacity of element and attribute names, terminator included.
    std::size_t nameCapacity = 256;
    // Elements at this nesting level (top level = 1) are stored; deeper ones are read and dropped.
    std::size_t maxDepth = 256;
};

// Kestrova keeps names of 256 code units, Ravelin of 128.
inline constexpr MarkupLimits kKestrovaMarkupLimits{256};
inline constexpr MarkupLimits kRavelinMarkupLimits{128};

struct MarkupAttribute {
    std::u16string name;   // everything between the attribute's first character and '='
    std::u16string value;  // everything between the character after '=' and the next '"'
};

struct MarkupNode {
    std::u16string name;                      // the word after '<' (after "<?" for a declaration)
    std::u16string text;                      // the last text run of the element's content
    std::vector<MarkupNode> children;         // in document order
    std::vector<MarkupAttribute> attributes;  // in document order
};

struct MarkupDocument {
    std::vector<MarkupNode> roots;  // the top-level elements in file order
};

// Reads the stream (opened in binary mode) or the bytes to their end and appends every top-level
// element to `document`. Malformed markup yields odd elements rather than an error; an input that
// ends early yields the tree read so far. Always true. The stream need not be seekable.
bool ParseDocument(std::FILE* stream, MarkupDocument& document, const MarkupLimits& limits = {});
bool ParseDocument(std::string_view bytes, MarkupDocument& document,
                   const MarkupLimits& limits = {});

// Lookups compare whole names ignoring the case of A-Z only; null when nothing matches.
const MarkupNode* FindRoot(const MarkupDocument& document, std::u16string_view name);
// The child at position `index` among the children named `name` (others do not count).
const MarkupNode* FindChild(const MarkupNode& node, std::u16string_view name, std::uint32_t index);
const MarkupAttribute* FindAttribute(const MarkupNode& node, std::u16string_view name);

// Releases the node's children and attributes; its name and text stay. Always true.
bool FreeNode(MarkupNode& node);
// Releases every top-level element.
void FreeDocument(MarkupDocument& document);

}  // namespace kestrova
