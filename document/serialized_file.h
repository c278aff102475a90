#pragma once
// Reading a serialized file into the document. A file whose first 44 bytes read exactly as the
// 44-byte form (format 9, little-endian, a version text of 7 characters, no types, no big ids)
// takes that form's reader; every other file of formats 9 to 22 takes the full metadata reader.

#include <cstdint>
#include <span>

#include "common/outcome.h"
#include "document/asset_file.h"

namespace kestrova {

inline constexpr std::uint32_t kOldestFormat = 9;
inline constexpr std::uint32_t kNewestFormat = 22;

bool IsExact44ByteForm(std::span<const std::uint8_t> serialized);

// Reads `serialized` (a whole file, or a bundle's member) into `doc`, a fresh document whose
// innerStart, serializedLength and workingLength are set. A refusal names the value that the file
// cannot hold and the format.
Outcome ReadSerializedFile(AssetFile& doc, std::span<const std::uint8_t> serialized,
                           const ProgressCallback& progress);

// The full metadata reader: header, engine version, platform, types with their trees, objects,
// script types, externals, reference types and user information, in either byte order. Fills
// `doc.metadata` and the table, with every object's name.
Outcome ReadFullMetadata(AssetFile& doc, std::span<const std::uint8_t> serialized,
                         const ProgressCallback& progress);

// The name of object `e`, whose data is `data`, as the list shows it: read where its type's tree
// or its class puts m_Name. A name further in than byte 0 is part of the body, not a prefix.
void ReadObjectName(const SerializedMetadata& meta, AssetEntry& e,
                    std::span<const std::uint8_t> data);

}  // namespace kestrova
