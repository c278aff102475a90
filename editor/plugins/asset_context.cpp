#include "editor/plugins/asset_context.h"

#include <algorithm>

#include "common/text.h"
#include "document/range_writer.h"

namespace kestrova {

namespace {

// The node an "archive:/CAB-x/CAB-x.resS" path names: the one of that whole path, else of its last
// part.
const BundleNode* FindArchiveNode(const std::vector<BundleNode>& nodes, std::string_view path) {
    path.remove_prefix(std::min(path.size(), std::string_view("archive:").size()));
    while (!path.empty() && path.front() == '/') {
        path.remove_prefix(1);
    }
    const std::string_view last = path.substr(path.find_last_of('/') + 1);
    const BundleNode* byLast = nullptr;
    for (const BundleNode& node : nodes) {
        if (node.path == path) {
            return &node;
        }
        if (byLast == nullptr && node.path == last) {
            byLast = &node;
        }
    }
    return byLast;
}

}  // namespace

ArchiveReader ArchiveReaderOf(const AssetFile& doc) {
    return [&doc](std::string_view path, std::uint64_t offset,
                  std::span<std::uint8_t> out) -> std::int32_t {
        const BundleNode* node =
            doc.compressed ? FindArchiveNode(doc.compressed->nodes, path) : nullptr;
        if (node == nullptr) {
            return KESTROVA_STREAM_NOT_FOUND;
        }
        if (offset > node->size || out.size() > node->size - offset) {
            return KESTROVA_STREAM_OUT_OF_RANGE;
        }
        FileDescriptor in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
        return in.valid() && ReadAt(in.get(), node->offset + offset, out) ? KESTROVA_STREAM_READ
                                                                          : KESTROVA_STREAM_FAILED;
    };
}

std::vector<ModImportCall> ModImportCalls(const AssetFile& doc, std::uint32_t index) {
    // The plug-in reads the number into a field of this many characters.
    constexpr std::size_t kPathIdCapacity = 256;
    const AssetEntry& entry = doc.entries.at(index);
    const auto type = static_cast<std::int32_t>(entry.typeId);
    const std::u16string shown = CopyLimited(PathIdText(doc, entry), kPathIdCapacity);
    std::vector<ModImportCall> calls{{doc.documentName, type, shown}, {entry.name, type, shown}};
    if (doc.metadata || doc.compressed) {
        calls.push_back({doc.compressed ? Latin1ToUtf16(doc.compressed->name()) : u"",
                         entry.classId, DecimalText(entry.pathId)});
    }
    return calls;
}

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
