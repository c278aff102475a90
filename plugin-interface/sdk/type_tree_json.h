#pragma once
// An object's fields as JSON and back, driven by its type tree.
//
// The form: a structure is an object of its fields in tree order; an array (vector, map, set, ...)
// is an array of its elements, a map's elements being {"first": ..., "second": ...}; integers are
// exact (64-bit ones too); floats and doubles are the shortest numbers that read back to the same
// bits, and "Infinity", "-Infinity", "NaN" or "NaN:0x7FC00001" (the bits of any other NaN) where
// JSON has no number; booleans are true and false (a byte other than 0 or 1 as its number); a
// string is a JSON text when its bytes are UTF-8, otherwise {"hex": "..."} with its bytes; a
// TypelessData and an array of 1-byte elements are a text of hexadecimal digits, two per byte.
//
// Import accepts that form with other values: numbers within their type's range, arrays of any
// length, strings of any length. The fields must come in tree order, each named as the tree names
// it; anything else is refused with the first path that differs ("m_Colors[2].second.r: expected
// a number").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/type_tree_fields.h"

namespace kestrova {

// The fields of an object that passed FieldReader::Check, as indented JSON text.
std::string FieldsToJson(const FieldReader& reader);

// The object that `json` describes, written in `order`; nothing, with `error` saying where and
// why, when the text is not JSON or does not match the layout.
std::optional<std::vector<std::uint8_t>> FieldsFromJson(const FieldLayout& layout, ByteOrder order,
                                                        std::string_view json, std::string& error);

}  // namespace kestrova
