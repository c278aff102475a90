#include "editor/plugins/asset_context.h"

#include <algorithm>

#include "document/range_writer.h"

namespace kestrova {

namespace {

// The header's engine version field, up to its first zero byte.
std::string EngineVersionText(const AssetFileHeader& header) {
    const auto end = std::find(header.engineVersion.begin(), header.engineVersion.end(), 0);
    return std::string(header.engineVersion.begin(), end);
}

}  // namespace

AssetContext AssetContextOf(const AssetFile& doc, std::uint32_t index, std::u16string folder) {
    AssetContext context;
    const AssetEntry& entry = doc.entries.at(index);
    context.formatVersion = doc.header.formatVersion;
    context.engineVersion = EngineVersionText(doc.header);
    context.classId = static_cast<std::int32_t>(entry.typeId);
    context.pathId = entry.pathId;
    context.folder = std::move(folder);
    if (entry.named()) {
        // The prefix as stored, padding included: a reader of the whole object needs its bytes.
        std::vector<std::uint8_t> prefix(entry.prefixLength);
        FileDescriptor in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
        if (in.valid() && ReadAt(in.get(), doc.DataBase() + entry.offset, prefix)) {
            context.namePrefix = std::move(prefix);
        }
    }
    return context;
}

bool HasTypeTree(const AssetFile&, std::uint32_t) {
    // The 44-byte form keeps no type trees.
    return false;
}

}  // namespace kestrova
