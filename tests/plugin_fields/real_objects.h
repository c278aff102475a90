#pragma once
// The objects with a type tree in the real game files (under KESTROVA_REALDATA): the serialized
// files that keep trees and the serialized members of every bundle, opened as the editor opens
// them (document/bundle's LoadDocument). For the Fields tests and bench_fields.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_document.h"
#include "document/range_writer.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::testing {

struct RealObject {
    std::string file;  // "modern/x/y.asset", or "modern/x/bundle / CAB-…" for a bundle's member
    std::int64_t pathId = 0;
    std::string className;
    const TypeTree* tree = nullptr;
    std::vector<std::uint8_t> bytes;  // the whole object, name included
    ByteOrder order = ByteOrder::Little;
};

// The real files a document may open: bundles by their signature, serialized files by the format
// word of their header (9 to 22); resource streams and notes are left out. Sorted by name.
struct RealFile {
    std::string path;
    std::string name;  // relative to `root`
    bool bundle = false;
};

inline std::vector<RealFile> RealFiles(const std::string& root) {
    std::vector<RealFile> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        std::uint8_t head[20] = {};
        if (!item.is_regular_file() || item.file_size() < sizeof head) {
            continue;
        }
        std::ifstream(item.path(), std::ios::binary).read(reinterpret_cast<char*>(head), 20);
        const std::uint32_t format = static_cast<std::uint32_t>(head[8]) << 24 |
                                     static_cast<std::uint32_t>(head[9]) << 16 |
                                     static_cast<std::uint32_t>(head[10]) << 8 | head[11];
        const bool bundle = bundle::LooksLikeBundle(head);
        if (bundle || (head[0] != 'U' && format >= 9 && format <= 22)) {
            found.push_back({item.path().string(),
                             std::filesystem::relative(item.path(), root).generic_string(),
                             bundle});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const RealFile& a, const RealFile& b) { return a.name < b.name; });
    return found;
}

// Opens every real file (each member of a bundle) in `doc`, whose working folder the caller set,
// and hands each object that has a type tree to `visit`. Returns why a file did not open, or
// nothing when all did.
inline std::string ForEachRealObject(const std::string& root, AssetFile& doc,
                                     const std::function<void(const RealObject&)>& visit) {
    for (const RealFile& file : RealFiles(root)) {
        std::vector<std::string> members{""};
        if (file.bundle) {
            std::vector<BundleNode> nodes;
            const Outcome o = bundle::ReadBundleMembers(Utf8ToUtf16(file.path), nodes);
            if (!o) {
                return file.name + ": " + Utf16ToUtf8(o.message);
            }
            members.clear();
            for (const BundleNode& node : nodes) {
                members.push_back(node.path);
            }
        }
        for (const std::string& member : members) {
            RealObject object;
            object.file = member.empty() ? file.name : file.name + " / " + member;
            const Outcome o = bundle::LoadDocument(
                doc, Utf8ToUtf16(file.path), member.empty() ? std::nullopt : std::optional(member));
            if (!o) {
                return object.file + ": " + Utf16ToUtf8(o.message);
            }
            object.order =
                doc.metadata && doc.metadata->bigEndian ? ByteOrder::Big : ByteOrder::Little;
            FileDescriptor in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
            for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
                const AssetEntry& entry = doc.entries[i];
                object.tree = ObjectTypeTree(doc, i);
                if (object.tree == nullptr) {
                    continue;
                }
                object.pathId = entry.pathId;
                object.className = Utf16ToUtf8(ClassName(doc, i));
                object.bytes.resize(entry.size);
                if (!ReadAt(in.get(), doc.DataBase() + entry.offset, object.bytes)) {
                    return object.file + ": cannot read object " + std::to_string(entry.pathId);
                }
                visit(object);
            }
        }
    }
    return {};
}

// The bodies of every object of the file at `path` (of its serialized member `member` when it is a
// compressed bundle), in table order, opened with `working` as the working folder; nothing when it
// does not open.
inline std::vector<std::vector<std::uint8_t>> ObjectBodies(const std::string& path,
                                                           const std::string& member,
                                                           const std::u16string& working) {
    AssetFile doc;
    doc.workingFolder = working;
    std::vector<std::vector<std::uint8_t>> bodies;
    if (bundle::LoadDocument(doc, Utf8ToUtf16(path),
                             member.empty() ? std::nullopt : std::optional(member))) {
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            bodies.push_back(ReadAssetBody(doc, i).value_or(std::vector<std::uint8_t>{}));
        }
    }
    CloseAssetFile(doc);
    return bodies;
}

}  // namespace kestrova::testing
