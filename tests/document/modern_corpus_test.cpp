// Every serialized file of the real later-form samples (modern/ under KESTROVA_REALDATA; skipped
// when it is not set): read, rebuilt, edited and read back.

#include <cstdlib>
#include <filesystem>
#include <map>

#include "document/serialized_edit.h"
#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

// From the samples' own description (SOURCES.md beside them), with a name and class that the
// tree or the class table gives, where the file has one to show.
struct Expected {
    std::uint32_t format;
    std::size_t objects;
    bool trees;
    const char* name = nullptr;
    const char* className = nullptr;
};
const std::map<std::string, Expected> kExpected = {
    {"u521_2DShooter_mainData", {15, 69, false}},
    {"cubearena_u501/level0", {15, 103, false}},
    {"cubearena_u501/sharedassets2.assets", {15, 1, false}},
    {"cubearena_u501/unity default resources", {14, 80, false, "Internal-ErrorShader", "Shader"}},
    {"ab5test_u513/TagManager.asset", {15, 1, true}},
    {"ab5test_u513/1.unity", {15, 16, true}},
    {"animatortest_u560/level0", {17, 14, false}},
    {"animatortest_u560/globalgamemanagers", {17, 22, false}},
    {"bombguys_u2018435/sharedassets1.assets", {17, 3, false, "azul - Copy", "Sprite"}},
    {"abtest_u201710/EditorUserBuildSettings.asset", {17, 1, true}},
    {"gamejam_u201936/level0", {21, 460, false}},
    {"gamejam_u201936/globalgamemanagers", {21, 18, false}},
    {"snowtime_u2019426/LightingData.asset", {21, 2, true, "LightingData", "LightingDataAsset"}},
    {"pong_u2021318/resources.assets", {22, 10, false, "EmojiOne", "Texture2D"}},
    {"pong_u2021318/level0", {22, 60, false}},
    {"skidmod_u2021311/LightingData.asset", {22, 2, true, "(Clone)", "LightProbes"}},
};

// Serialized files among the samples: a format word of 9 to 22, not a bundle or stream file.
std::vector<std::string> SerializedSamples(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) {
            continue;
        }
        const Bytes head = ReadBytes(item.path().string());
        if (head.size() < 20 || head[0] == 'U') {
            continue;
        }
        const std::uint32_t format = GetBig32(head, 8);
        if (format >= 9 && format <= 22) {
            found.push_back(std::filesystem::relative(item.path(), root).generic_string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class ModernCorpusTest : public DocumentTest {
protected:
    void SetUp() override {
        const char* folderName = std::getenv("KESTROVA_REALDATA");
        if (folderName == nullptr ||
            !std::filesystem::exists(std::string(folderName) + "/modern")) {
            GTEST_SKIP() << "KESTROVA_REALDATA/modern is not there";
        }
        root = std::string(folderName) + "/modern";
    }
    // The data of every object but `except`, as the working copy now holds it.
    std::map<std::int64_t, Bytes> Bodies(std::int64_t except) {
        std::map<std::int64_t, Bytes> bodies;
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            if (doc.entries[i].pathId != except) {
                bodies[doc.entries[i].pathId] = Body(i);
            }
        }
        return bodies;
    }
    void Reload(const std::string& what) {
        AssetFile again;
        again.workingFolder = Wide(folder.File("Again"));
        Outcome o = LoadAssetFile(again, doc.WorkingCopyPath());
        EXPECT_TRUE(o.ok) << what << ": " << Utf16ToUtf8(o.message);
        EXPECT_EQ(again.entries.size(), doc.entries.size()) << what;
        CloseAssetFile(again);
    }

    std::string root;
};

TEST_F(ModernCorpusTest, EverySerializedSampleReadsRebuildsAndSurvivesEdits) {
    const std::vector<std::string> samples = SerializedSamples(root);
    EXPECT_EQ(samples.size(), kExpected.size());
    for (const std::string& name : samples) {
        const std::string path = root + "/" + name;
        const Bytes original = ReadBytes(path);
        Outcome loaded = LoadAssetFile(doc, Wide(path));
        ASSERT_TRUE(loaded.ok) << name << ": " << Utf16ToUtf8(loaded.message);
        ASSERT_TRUE(doc.metadata.has_value()) << name;
        const SerializedMetadata& meta = *doc.metadata;
        const auto expected = kExpected.find(name);
        ASSERT_NE(expected, kExpected.end()) << name;
        EXPECT_EQ(meta.format, expected->second.format) << name;
        EXPECT_EQ(doc.entries.size(), expected->second.objects) << name;
        EXPECT_EQ(meta.typeTreesKept, expected->second.trees) << name;
        for (const SerializedType& type : meta.types) {
            for (const TypeTreeNode& node : type.tree.nodes) {
                EXPECT_EQ(node.type.find("(common string"), std::string::npos) << name;
            }
        }
        bool shown = expected->second.name == nullptr;
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            shown = shown || (Name(i) == expected->second.name &&
                              Utf16ToUtf8(ClassName(doc, i)) == expected->second.className);
            // A Transform's leading zero is not an empty name.
            EXPECT_TRUE(doc.entries[i].classId != 4 || doc.entries[i].prefixLength == 0) << name;
        }
        EXPECT_TRUE(shown) << name;

        // The writer rebuilds the header and metadata of an unchanged table byte for byte.
        std::vector<ObjectRecord> records;
        for (const AssetEntry& e : doc.entries) {
            records.push_back(RecordOf(e));
        }
        RebuiltMetadata rebuilt;
        ASSERT_TRUE(RebuildMetadata(
                        meta, original, records.size(), [&](std::size_t k) { return records[k]; },
                        original.size() - meta.dataOffset, rebuilt)
                        .ok);
        EXPECT_TRUE(rebuilt.bytes ==
                    Bytes(original.begin(),
                          original.begin() + static_cast<std::ptrdiff_t>(meta.metadataEnd())))
            << name;
        EXPECT_EQ(rebuilt.dataOffset, meta.dataOffset) << name;
        EXPECT_EQ(rebuilt.fileSize, original.size()) << name;

        // Export and import of every body, then growing and shrinking back the middle and the
        // last object, give the same bytes; so does an unchanged Save As.
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            const std::u16string out = Wide(folder.File("body.data"));
            ASSERT_TRUE(ExportAssetBody(doc, i, out).ok) << name << " " << i;
            ASSERT_TRUE(ReplaceAssetBody(doc, i, *ReadWholeFile(out)).ok) << name << " " << i;
        }
        const auto last = static_cast<std::uint32_t>(doc.entries.size() - 1);
        for (std::uint32_t i : {last / 2, last}) {
            const Bytes body = Body(i);
            const std::map<std::int64_t, Bytes> others = Bodies(doc.entries[i].pathId);
            Bytes longer = body;
            longer.insert(longer.end(), 13, 0x5C);
            ASSERT_TRUE(ReplaceAssetBody(doc, i, longer).ok) << name;
            EXPECT_EQ(Bodies(doc.entries[i].pathId), others) << name;
            Reload(name + " grown");
            ASSERT_TRUE(ReplaceAssetBody(doc, i, body).ok) << name;
        }
        EXPECT_TRUE(WorkingCopy() == original) << name;
        ASSERT_TRUE(SaveWorkingCopyAs(doc, Wide(folder.File("saved"))).ok);
        EXPECT_TRUE(ReadBytes(folder.File("saved")) == original) << name;

        // Add an object of the first object's class, then remove the first object.
        const std::map<std::int64_t, Bytes> before = Bodies(doc.entries[0].pathId);
        ASSERT_TRUE(AddAsset(doc, doc.entries[0].typeId, u"Added", 0).ok) << name;
        Reload(name + " added");
        ASSERT_TRUE(RemoveAsset(doc, 0).ok) << name;
        Reload(name + " removed");
        std::map<std::int64_t, Bytes> after = Bodies(doc.entries.back().pathId);
        EXPECT_EQ(after, before) << name;
    }
}

}  // namespace
}  // namespace kestrova::testing
