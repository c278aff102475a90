// kestrova-cli and the Fields plug-in on real files with type trees (a plain serialized file and a
// bundle's member): an object exported as JSON, one value edited, imported back; the file written
// differs from the original in that object alone, which exports as the edited JSON.

#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "tests/common/temp_folder.h"
#include "tests/document/asset_file_builder.h"
#include "tests/document/program_run.h"
#include "tests/plugin_fields/real_objects.h"

namespace kestrova::testing {
namespace {

using Json = nlohmann::ordered_json;

class FieldsCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* real = std::getenv("KESTROVA_REALDATA");
        if (real == nullptr || !std::filesystem::is_directory(std::string(real) + "/modern")) {
            GTEST_SKIP() << "KESTROVA_REALDATA/modern is not there";
        }
        root = std::string(real) + "/modern/";
    }

    // kestrova-cli with the Fields plug-in of this build; standard error into "err".
    ProgramRun Cli(const std::string& args) {
        const std::string plugins =
            std::filesystem::path(KESTROVA_FIELDS_PLUGIN).parent_path().string();
        return RunProgram(std::string(KESTROVA_CLI) + " " + args + " --plugins '" + plugins +
                          "' 2>'" + folder.File("err") + "'");
    }
    std::string Err() const { return folder.Read("err"); }

    std::string root;
    TempFolder folder;
};

TEST_F(FieldsCliTest, AnEditedValueInTheJsonChangesOnlyItsObject) {
    struct Case {
        const char* file;
        const char* member;  // empty for a plain serialized file
        std::size_t asset;
        std::function<void(Json&)> edit;
    };
    const Case cases[] = {
        // A longer text: the object grows and the later ones move.
        {"ab5test_u513/1.unity", "", 5, [](Json& j) { j["m_TagString"] = "EditorOnly Camera"; }},
        // One more element in an array of references, inside a bundle.
        {"abtest_u201839/cube.ab", "CAB-12810e3a71231c275a95a047ceb1c2cd", 4,
         [](Json& j) {
             j["m_Materials"].push_back({{"m_FileID", 0}, {"m_PathID", 7}});
         }},
        // A float of the same size.
        {"abtest_u201839/cube.ab", "CAB-12810e3a71231c275a95a047ceb1c2cd", 0,
         [](Json& j) { j["m_Size"]["x"] = 2.5; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.member + " asset " + std::to_string(c.asset));
        const std::string input = root + c.file;
        const std::string member =
            *c.member == '\0' ? std::string() : " --member " + std::string(c.member);
        const std::string asset = " --asset " + std::to_string(c.asset);
        ProgramRun run = Cli("export '" + input + "'" + member + asset + " --as json -o '" +
                             folder.File("object.json") + "'");
        ASSERT_EQ(run.status, 0) << Err();
        Json json = Json::parse(folder.Read("object.json"));
        c.edit(json);
        folder.Write("edited.json", json.dump(1));
        run = Cli("import '" + input + "'" + member + asset + " --data '" +
                  folder.File("edited.json") + "' --as json -o '" + folder.File("saved") + "'");
        ASSERT_EQ(run.status, 0) << Err();

        const std::vector<Bytes> before = ObjectBodies(input, c.member, folder.Wide());
        const std::vector<Bytes> after =
            ObjectBodies(folder.File("saved"), c.member, folder.Wide());
        ASSERT_FALSE(before.empty());
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i] == before[i], i != c.asset) << "object " << i;
        }
        run = Cli("export '" + folder.File("saved") + "'" + member + asset + " --as json -o '" +
                  folder.File("again.json") + "'");
        ASSERT_EQ(run.status, 0) << Err();
        EXPECT_EQ(Json::parse(folder.Read("again.json")), json);
    }
}

// export --all --as json: every object of a file with trees as JSON, each of which imports back.
TEST_F(FieldsCliTest, ExportAllWritesEveryObjectWithATreeAsJson) {
    const std::string input = root + "ab5test_u513/1.unity";
    ProgramRun run = Cli("export '" + input + "' --all --as json -d '" + folder.File("all") + "'");
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_NE(run.out.find("16 converted to .json, 0 raw, 0 skipped"), std::string::npos)
        << run.out;
    std::size_t files = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder.path() / "all")) {
        files += item.path().extension() == ".json" ? 1 : 0;
    }
    EXPECT_EQ(files, 16u);
    run = Cli("import '" + input + "' --asset 15 --data '" + folder.File("all") +
              "/unnamed asset (2142983319).json' --as json -o '" + folder.File("same") + "'");
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_TRUE(ReadBytes(folder.File("same")) == ReadBytes(input)) << "an unchanged import";
}

}  // namespace
}  // namespace kestrova::testing
