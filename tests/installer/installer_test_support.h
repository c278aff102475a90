#pragma once
// What the installer's tests share: a mod built as "Add File" builds it, in a fresh folder.

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "document/asset_file.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_document.h"
#include "document/bundle/bundle_writer.h"
#include "plugins/ravelin/core/mod_contents.h"
#include "plugins/ravelin/core/mod_record.h"
#include "tests/document/document_test_support.h"
#include "tests/ravelin/mod_test_support.h"

namespace kestrova::testing {

// An entry's data as installed: the body, then zeros up to a multiple of 4.
inline Bytes Padded(Bytes body) {
    body.resize((body.size() + 3) / 4 * 4, 0);
    return body;
}

// A file of the later forms as installing sees it: the serialized file's bodies, and for a
// compressed bundle its compression and every other node's bytes.
struct LoadedView {
    std::vector<std::int64_t> pathIds;
    std::vector<Bytes> bodies;
    std::string member;
    std::int32_t largestClass = 0;
    std::uint32_t largest = 0;
    std::map<std::string, Bytes> otherNodes;
    std::uint32_t compression = 0;
};

inline LoadedView LoadView(const std::u16string& path, const std::u16string& work) {
    LoadedView view;
    AssetFile doc;
    doc.workingFolder = work;
    Outcome o = bundle::LoadDocument(doc, path);
    EXPECT_TRUE(o.ok) << Utf16ToUtf8(path) << ": " << Utf16ToUtf8(o.message);
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        view.pathIds.push_back(doc.entries[i].pathId);
        view.bodies.push_back(ReadAssetBody(doc, i).value_or(Bytes{0xEE}));
        if (doc.entries[i].size > doc.entries[view.largest].size) {
            view.largest = i;
        }
    }
    if (!doc.entries.empty()) {
        view.largestClass = doc.entries[view.largest].classId;
    }
    if (doc.compressed) {
        view.member = doc.compressed->name();
        const Bytes stream = ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath()));
        for (const BundleNode& node : doc.compressed->nodes) {
            if (node.path != view.member) {
                view.otherNodes[node.path] =
                    Bytes(stream.begin() + static_cast<std::ptrdiff_t>(node.offset),
                          stream.begin() + static_cast<std::ptrdiff_t>(node.offset + node.size));
            }
        }
        bundle::FileSource source;
        bundle::BundleArchive archive;
        EXPECT_TRUE(source.Open(path) && bundle::ReadBundleArchive(source, archive).ok);
        view.compression = static_cast<std::uint32_t>(bundle::OriginalCompression(archive));
    }
    CloseAssetFile(doc);
    return view;
}

class ModTest : public RavelinTest {
protected:
    // Adds an asset with this body to the mod, as the editor hands it over.
    void Add(const std::u16string& fileName, const std::u16string& assetName, std::uint32_t index,
             const Bytes& body) {
        ravelin::PendingAsset pending;
        pending.payload = body;
        pending.fileName = fileName;
        pending.assetName = assetName;
        pending.pathId = index;
        pending.type = 49;
        ASSERT_TRUE(ravelin::AddPendingAsset(mod, pending, files).ok);
    }

    // Adds the largest asset of a loaded file with its body reversed and five bytes longer, as
    // the editor hands over an asset of the later forms; `view` then expects it installed.
    void AddChangedLargest(const std::u16string& fileName, LoadedView& view) {
        Bytes body = view.bodies.at(view.largest);
        std::reverse(body.begin(), body.end());
        body.insert(body.end(), {1, 2, 3, 4, 5});
        Add(fileName, u"Largest", 0, body);
        mod.entries.back().pathId = view.pathIds[view.largest];
        mod.entries.back().classId = view.largestClass;
        mod.entries.back().member = Latin1ToUtf16(view.member);
        view.bodies[view.largest] = Padded(body);
    }

    // The names in a folder of the test's folder, sorted.
    std::vector<std::string> Listing(const std::string& relative = "") const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder.File(relative))) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every file below a folder of the test's folder and its bytes, by relative path.
    std::map<std::string, Bytes> Snapshot(const std::string& relative) const {
        std::map<std::string, Bytes> files;
        const std::filesystem::path root = folder.File(relative);
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            const std::string name = std::filesystem::relative(e.path(), root).string();
            files[name] = e.is_regular_file() ? ReadBytes(e.path().string()) : Bytes{'/'};
        }
        return files;
    }

    ravelin::ModRecord mod;
};

}  // namespace kestrova::testing
