#include "editor/plugins/asset_context.h"

#include "document/range_writer.h"

namespace kestrova {

AssetContext AssetContextOf(const AssetFile& doc, std::uint32_t index, std::u16string folder) {
    AssetContext context;
    const AssetEntry& entry = doc.entries.at(index);
    context.formatVersion = FormatVersion(doc);
    context.engineVersion = EngineVersion(doc);
    context.bigEndian = doc.metadata && doc.metadata->bigEndian;
    // The 44-byte form's type word is what its plug-ins were chosen by; the later forms keep the
    // class id.
    context.classId = doc.metadata ? entry.classId : static_cast<std::int32_t>(entry.typeId);
    context.pathId = entry.pathId;
    context.folder = std::move(folder);
    if (const TypeTree* tree = ObjectTypeTree(doc, index)) {
        context.typeTree = *tree;
    }
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

bool HasTypeTree(const AssetFile& doc, std::uint32_t index) {
    return ObjectTypeTree(doc, index) != nullptr;
}

}  // namespace kestrova
