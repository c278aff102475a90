#pragma once
// The engine's published class ids and names (document/class_ids.txt, compiled in), and which
// classes derive from NamedObject, whose data starts with m_Name.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrova {

// The published name of `classId`, or empty when the table does not know it.
std::string_view KnownClassName(std::int32_t classId);

// The class id published under `name` (ignoring the case of A-Z), if any.
std::optional<std::int32_t> KnownClassId(std::u16string_view name);

// Whether the data of `classId`'s objects starts with m_Name (the class derives from NamedObject).
// Only a file without type trees is named by this; a Transform's leading zero is not a name.
bool ClassStartsWithName(std::int32_t classId);

}  // namespace kestrova
