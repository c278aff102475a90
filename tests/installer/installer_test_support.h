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

// A file as installing leaves it: every asset's body by path id, and for a compressed bundle its
// member, its compression and every other file's bytes.
struct LoadedView {
    std::map<std::int64_t, Bytes> bodies;
    std::map<std::string, Bytes> nodes;  // the member's is empty
    std::string member;
    std::uint32_t compression = 0;
    bool operator==(const LoadedView&) const = default;
};

inline LoadedView LoadView(const std::u16string& path) {
    LoadedView view;
    AssetFile doc;
    doc.workingFolder = u"Check";
    EXPECT_TRUE(bundle::LoadDocument(doc, path).ok) << Utf16ToUtf8(path);
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        view.bodies[doc.entries[i].pathId] = ReadAssetBody(doc, i).value_or(Bytes{0xEE});
    }
    bundle::FileSource source;
    bundle::BundleArchive archive;
    if (doc.compressed && source.Open(path) && bundle::ReadBundleArchive(source, archive).ok) {
        view.member = doc.compressed->name();
        view.compression = static_cast<std::uint32_t>(bundle::OriginalCompression(archive));
        const Bytes stream = ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath()));
        for (const BundleNode& node : doc.compressed->nodes) {
            const auto start = stream.begin() + static_cast<std::ptrdiff_t>(node.offset);
            const auto end = node.path == view.member ? start : start + node.size;
            view.nodes[node.path] = Bytes(start, end);
        }
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

    // Adds the asset of a file with the lowest path id, reversed and five bytes longer, with
    // its member and 64-bit path id; `view` then expects it installed.
    void AddChanged(const std::u16string& fileName, LoadedView& view) {
        auto& [pathId, body] = *view.bodies.begin();
        std::reverse(body.begin(), body.end());
        body.insert(body.end(), {1, 2, 3, 4, 5});
        Add(fileName, u"Changed", 0, body);
        mod.entries.back().member = Latin1ToUtf16(view.member);
        mod.entries.back().pathId = pathId;
        body = Padded(body);
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
