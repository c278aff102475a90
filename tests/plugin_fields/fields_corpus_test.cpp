// Every object with a type tree in the real game files (KESTROVA_REALDATA, skipped when it is not
// set): the serialized files that keep trees and the serialized members of every bundle, opened as
// the editor opens them. Each object reads through its tree to its last byte, writes back
// unchanged to the same bytes, and its JSON imports back to the same bytes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "sdk/type_tree_json.h"
#include "tests/common/temp_folder.h"
#include "tests/plugin_fields/real_objects.h"

namespace kestrova::testing {
namespace {

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

// Reads `object` through its tree, writes it back unchanged and through JSON.
void RoundTrip(const RealObject& object) {
    std::string error;
    const std::optional<FieldLayout> layout = FieldLayout::Compile(*object.tree, error);
    ASSERT_TRUE(layout) << error;
    const FieldReader reader(*layout, object.bytes, object.order);
    const std::optional<FieldError> problem = reader.Check();
    ASSERT_FALSE(problem) << problem->Text();
    EXPECT_TRUE(ReplacePayload(reader, {~0u, ~0ull}, {}) == object.bytes) << "written back";
    const std::optional<std::vector<std::uint8_t>> imported =
        FieldsFromJson(*layout, object.order, FieldsToJson(reader), error);
    ASSERT_TRUE(imported) << error;
    EXPECT_TRUE(*imported == object.bytes) << "through JSON";
}

TEST(FieldsCorpusTest, EveryObjectWithATreeReadsWritesAndGoesThroughJsonUnchanged) {
    const char* real = std::getenv("KESTROVA_REALDATA");
    if (real == nullptr || !std::filesystem::is_directory(real)) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not there";
    }
    TempFolder folder;
    AssetFile doc;
    doc.workingFolder = folder.Wide();
    std::map<std::string, std::size_t> found;
    const std::string refused = ForEachRealObject(real, doc, [&](const RealObject& object) {
        SCOPED_TRACE(object.file + ", object " + std::to_string(object.pathId) + " (" +
                     object.className + ")");
        ++found[object.file];
        RoundTrip(object);
    });
    CloseAssetFile(doc);
    EXPECT_EQ(refused, "");
    EXPECT_EQ(found, kObjectsWithTrees);
}

}  // namespace
}  // namespace kestrova::testing
