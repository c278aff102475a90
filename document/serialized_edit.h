#pragma once
// Changes to a document of the later forms (read by the full metadata reader). The header and
// the metadata are built in memory: everything before and after the object table is carried
// unchanged, the object table is rebuilt, and metadataSize, fileSize and dataOffset are
// recomputed. The object data moves by kernel copies. Object data starts stay 8-aligned with zero
// padding between objects.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "document/asset_file.h"

namespace kestrova {

// One record of the object table, as a rewrite writes it.
struct ObjectRecord {
    std::int64_t pathId = 0;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::int32_t rawType = 0;
    std::uint32_t classWord = 0;
    std::int16_t scriptTypeIndex = -1;
    std::uint8_t stripped = 0;
};

ObjectRecord RecordOf(const AssetEntry& entry);

// The record at a place of the new table.
using RecordSource = std::function<ObjectRecord(std::size_t)>;

// The header and metadata of a rewritten file.
struct RebuiltMetadata {
    std::vector<std::uint8_t> bytes;  // from the serialized file's first byte to the metadata's end
    std::uint64_t metadataSize = 0;
    std::uint64_t objectTableEnd = 0;
    // Unchanged while the metadata fits before it; else the next multiple of 16 after it.
    std::uint64_t dataOffset = 0;
    std::uint64_t fileSize = 0;
};

// Builds the header and metadata with `count` records from `recordAt` as the object table, for
// object data of `dataLength` bytes from the data offset. `old` is the serialized file now
// described by `meta`. Refuses numbers that the format's fields cannot hold.
Outcome RebuildMetadata(const SerializedMetadata& meta, std::span<const std::uint8_t> old,
                        std::size_t count, const RecordSource& recordAt, std::uint64_t dataLength,
                        RebuiltMetadata& rebuilt);

// Asset `index` gets its name prefix and `body` as its data; the objects after it move by the
// change of their 8-aligned starts.
Outcome ResizeLaterFormObject(AssetFile& doc, std::uint32_t index,
                              std::span<const std::uint8_t> body);

// A new object of class `classId`, which the file's type list must hold.
Outcome AddLaterFormObject(AssetFile& doc, std::uint32_t classId, std::u16string_view name,
                           std::uint32_t indexOffset);

// Removes object `index`: its record, and its data with the padding after it.
Outcome RemoveLaterFormObject(AssetFile& doc, std::uint32_t index);

// After object `index` of a later-form file took `body` (its whole data, as a name further in
// than byte 0 leaves no prefix): the list's name, read again where its type keeps m_Name.
void RereadNameInBody(AssetFile& doc, std::uint32_t index, std::span<const std::uint8_t> body);

}  // namespace kestrova
