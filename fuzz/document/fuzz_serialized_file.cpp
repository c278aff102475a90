// Reads arbitrary bytes with the full metadata reader and checks what it accepts: the parts of
// the metadata in order, every object inside the file, and that the writer's header and
// metadata for the unchanged table read back to the same table. Runs in memory: no file is
// written.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "document/serialized_edit.h"
#include "document/serialized_file.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace kestrova;

bool SameRecord(const AssetEntry& a, const AssetEntry& b) {
    return a.pathId == b.pathId && a.offset == b.offset && a.size == b.size &&
           a.rawType == b.rawType && a.classWord == b.classWord &&
           a.scriptTypeIndex == b.scriptTypeIndex && a.stripped == b.stripped &&
           a.classId == b.classId && a.name == b.name && a.prefixLength == b.prefixLength;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    AssetFile doc;
    if (!ReadFullMetadata(doc, bytes, {}).ok) {
        return 0;
    }
    const SerializedMetadata& m = *doc.metadata;
    CHECK(m.headerSize <= m.objectTableStart && m.objectTableStart < m.objectTableEnd);
    CHECK(m.objectTableEnd <= m.metadataEnd() && m.metadataEnd() <= m.dataOffset);
    CHECK(m.dataOffset <= size);
    std::vector<ObjectRecord> records;
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        const AssetEntry& e = doc.entries[i];
        CHECK(e.offset <= size - m.dataOffset && e.size <= size - m.dataOffset - e.offset);
        CHECK(e.prefixLength <= e.size);
        CHECK(e.typeIndex == kNoType || e.typeIndex < m.types.size());
        CHECK(!ClassName(doc, i).empty());
        CHECK((ObjectTypeTree(doc, i) != nullptr) == (e.typeIndex != kNoType && m.typeTreesKept));
        records.push_back(RecordOf(e));
    }

    RebuiltMetadata rebuilt;
    CHECK(RebuildMetadata(
              m, bytes, records.size(), [&](std::size_t k) { return records[k]; },
              size - m.dataOffset, rebuilt)
              .ok);
    CHECK(rebuilt.bytes.size() == m.metadataEnd());
    CHECK(rebuilt.dataOffset == m.dataOffset && rebuilt.fileSize == size);
    std::vector<std::uint8_t> again(rebuilt.bytes);
    again.insert(again.end(), bytes.begin() + static_cast<std::ptrdiff_t>(m.metadataEnd()),
                 bytes.end());
    AssetFile reread;
    CHECK(ReadFullMetadata(reread, again, {}).ok);
    CHECK(reread.entries.size() == doc.entries.size());
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        CHECK(SameRecord(reread.entries[i], doc.entries[i]));
    }
    return 0;
}
