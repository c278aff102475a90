// Every object with a type tree in the real game files (KESTROVA_REALDATA, skipped when it is not
// set): the serialized files that keep trees and the serialized members of every bundle, opened as
// the editor opens them. Each object reads through its tree to its last byte, writes back
// unchanged to the same bytes, and its JSON imports back to the same bytes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "common/text.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_document.h"
#include "document/range_writer.h"
#include "sdk/type_tree_json.h"
#include "tests/common/temp_folder.h"

namespace kestrova::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The objects with a tree in each file ("file" or "bundle / member"), as the samples' trees give
// them; a file missing from here, or a count that differs, means objects went unchecked.
const std::map<std::string, std::size_t> kObjectsWithTrees = {
    {"modern/ab5test_u513/1.unity", 16},
    {"modern/ab5test_u513/TagManager.asset", 1},
    {"modern/ab5test_u513/arts / CAB-ddb955afb9abe5ea1fa874835cfa95e1", 28},
    {"modern/abbuild_u201731p1/chatapng.ab / CAB-b2912c237f750c928b1ab8fc9dd88948", 2},
    {"modern/abdemo_u541/cube-bundle / CAB-b16669e084560089d1c1f647c40289fc", 6},
    {"modern/abtest_u201710/EditorUserBuildSettings.asset", 1},
    {"modern/abtest_u201710/cubewall.unity3d / CAB-0451e7df5d685ca9f8f6629196be7ccb", 6},
    {"modern/abtest_u201839/cube.ab / CAB-12810e3a71231c275a95a047ceb1c2cd", 6},
    {"modern/lctemplate_u202239/StandaloneWindows / CAB-032476afdd065ac1ab6fbe9615bc1c09", 2},
    {"modern/owtemplate_u2019439/StreamingAssets / CAB-713de628f689398bcc2f72caf476e9c5", 2},
    {"modern/riskoframen_u2021333/AssetBundleStaging / CAB-e1afaea2810bb801b7e0e37a3aabadd9", 2},
    {"modern/skidmod_u2021311/LightingData.asset", 2},
    {"modern/snowtime_u2019426/LightingData.asset", 2},
};

std::string Text(const Outcome& o) {
    return Utf16ToUtf8(o.message);
}

// The real files a document may open: bundles by their signature, serialized files by the
// format word of their header (9 to 22), resource streams and notes left out.
struct RealFile {
    std::string path;
    std::string name;  // relative to the samples' folder
    bool bundle = false;
};

std::vector<RealFile> RealFiles(const std::string& root) {
    std::vector<RealFile> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        std::uint8_t head[20] = {};
        if (!item.is_regular_file() || item.file_size() < sizeof head) {
            continue;
        }
        std::ifstream(item.path(), std::ios::binary).read(reinterpret_cast<char*>(head), 20);
        const std::uint32_t format =
            static_cast<std::uint32_t>(head[8]) << 24 | head[9] << 16 | head[10] << 8 | head[11];
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

class FieldsCorpusTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* real = std::getenv("KESTROVA_REALDATA");
        if (real == nullptr || !std::filesystem::is_directory(real)) {
            GTEST_SKIP() << "KESTROVA_REALDATA is not there";
        }
        root = real;
        doc.workingFolder = folder.Wide();
    }
    void TearDown() override { CloseAssetFile(doc); }

    // Round-trips every object with a tree in the open document, counting them in `checked`.
    void CheckObjects(const std::string& name, std::size_t& checked) {
        std::map<const TypeTree*, std::unique_ptr<FieldLayout>> layouts;
        const ByteOrder order =
            doc.metadata && doc.metadata->bigEndian ? ByteOrder::Big : ByteOrder::Little;
        FileDescriptor in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            const TypeTree* tree = ObjectTypeTree(doc, i);
            if (tree == nullptr) {
                continue;
            }
            ++checked;
            const AssetEntry& entry = doc.entries[i];
            SCOPED_TRACE(name + ", object " + std::to_string(entry.pathId) + " (" +
                         Utf16ToUtf8(ClassName(doc, i)) + ")");
            std::unique_ptr<FieldLayout>& layout = layouts[tree];
            if (!layout) {
                std::string error;
                std::optional<FieldLayout> compiled = FieldLayout::Compile(*tree, error);
                ASSERT_TRUE(compiled) << error;
                layout = std::make_unique<FieldLayout>(std::move(*compiled));
            }
            Bytes object(entry.size);
            ASSERT_TRUE(ReadAt(in.get(), doc.DataBase() + entry.offset, object));
            const FieldReader reader(*layout, object, order);
            const std::optional<FieldError> error = reader.Check();
            ASSERT_FALSE(error) << error->Text();
            EXPECT_TRUE(ReplacePayload(reader, {~0u, ~0ull}, {}) == object) << "written back";
            std::string why;
            const std::optional<Bytes> imported =
                FieldsFromJson(*layout, order, FieldsToJson(reader), why);
            ASSERT_TRUE(imported) << why;
            EXPECT_TRUE(*imported == object) << "through JSON";
        }
    }

    std::string root;
    TempFolder folder;
    AssetFile doc;
};

TEST_F(FieldsCorpusTest, EveryObjectWithATreeReadsWritesAndGoesThroughJsonUnchanged) {
    std::map<std::string, std::size_t> found;
    for (const RealFile& file : RealFiles(root)) {
        std::vector<std::string> members;
        if (file.bundle) {
            std::vector<BundleNode> nodes;
            const Outcome o = bundle::ReadBundleMembers(Utf8ToUtf16(file.path), nodes);
            ASSERT_TRUE(o.ok) << file.name << ": " << Text(o);
            for (const BundleNode& node : nodes) {
                members.push_back(node.path);
            }
        } else {
            members.emplace_back();
        }
        for (const std::string& member : members) {
            const std::string name = member.empty() ? file.name : file.name + " / " + member;
            const Outcome o = bundle::LoadDocument(
                doc, Utf8ToUtf16(file.path), member.empty() ? std::nullopt : std::optional(member));
            ASSERT_TRUE(o.ok) << name << ": " << Text(o);
            std::size_t objects = 0;
            CheckObjects(name, objects);
            if (objects > 0) {
                found[name] = objects;
            }
        }
    }
    EXPECT_EQ(found, kObjectsWithTrees);
}

}  // namespace
}  // namespace kestrova::testing
