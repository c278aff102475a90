// kestrova-cli run as a program: every command, its exit statuses, its one-line errors, and
// that FILE is never written.

#include <nlohmann/json.hpp>

#include "tests/document/document_test_support.h"
#include "tests/document/program_run.h"
#include "tests/document/serialized_file_builder.h"

namespace kestrova::testing {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        AssetFileBuilder b;
        b.Add("Crosshair", 28, 1, Filled(20, 1))
            .Add("aaa", 83, 2, Filled(30, 2))
            .Add("", 83, 7, Filled(9, 3));
        original = b.Build();
        input = folder.File("in.assets");
        WriteBytes(input, original);
    }
    void TearDown() override { EXPECT_EQ(ReadBytes(input), original) << "FILE was written"; }

    CliRun Cli(const std::string& args) {
        std::string errFile = folder.File("stderr");
        ProgramRun program = RunProgram(std::string(KESTROVA_CLI) + " " + args + " 2>" + errFile);
        CliRun run{program.status, program.out, {}};
        Bytes err = ReadBytes(errFile);
        run.err.assign(err.begin(), err.end());
        return run;
    }
    std::string Q(const std::string& path) { return "'" + path + "'"; }

    TempFolder folder;
    Bytes original;
    std::string input;
};

void ExpectOneErrorLine(const CliRun& run, int status) {
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.err.rfind("kestrova-cli: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST_F(CliTest, ListPrintsTheTableInTableOrder) {
    // Without plug-ins no type has a name.
    CliRun run = Cli("list " + Q(input) + " --plugins " + Q(folder.File("none")));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Name"), std::string::npos);
    std::size_t a = run.out.find("Crosshair");
    std::size_t b = run.out.find("aaa");
    std::size_t c = run.out.find("unnamed asset");
    EXPECT_TRUE(a < b && b < c) << run.out;
    EXPECT_NE(run.out.find("0x0000001C"), std::string::npos);
}

TEST_F(CliTest, ListJsonHoldsHeaderBundleAndAssets) {
    CliRun run = Cli("list --json " + Q(input));
    ASSERT_EQ(run.status, 0) << run.err;
    nlohmann::json j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["header"]["assetCount"], 3);
    EXPECT_EQ(j["header"]["engineVersion"], "332e352e35663300");
    EXPECT_EQ(j["header"].size(), 10u);
    EXPECT_TRUE(j["bundle"].is_null());
    EXPECT_EQ(j["assets"][0]["name"], "Crosshair");
    EXPECT_EQ(j["assets"][0]["named"], true);
    EXPECT_EQ(j["assets"][2]["named"], false);
    EXPECT_EQ(j["assets"][2]["pathId"], 7);

    std::string bundle = folder.File("b.unity3d");
    WriteBytes(bundle, WrapInBundle(original, 3, {{"extra", {1, 2}}}));
    CliRun wrapped = Cli("list --json " + Q(bundle));
    ASSERT_EQ(wrapped.status, 0) << wrapped.err;
    nlohmann::json w = nlohmann::json::parse(wrapped.out);
    EXPECT_EQ(w["bundle"]["format"], 3);
    EXPECT_EQ(w["bundle"]["files"].size(), 2u);
    EXPECT_EQ(w["bundle"]["files"][1]["name"], "extra");
    EXPECT_EQ(w["assets"], j["assets"]);
}

TEST_F(CliTest, ExportWritesTheBodyByIndexOrPathId) {
    ASSERT_EQ(Cli("export " + Q(input) + " --asset 0 -o " + Q(folder.File("a.data"))).status, 0);
    EXPECT_EQ(ReadBytes(folder.File("a.data")), Filled(20, 1));
    ASSERT_EQ(Cli("export " + Q(input) + " --path-id 7 -o " + Q(folder.File("b.data"))).status, 0);
    EXPECT_EQ(ReadBytes(folder.File("b.data")), Filled(9, 3));
}

TEST_F(CliTest, ImportAddAndRemoveWriteOnlyOut) {
    WriteBytes(folder.File("new.data"), Filled(50, 9));
    std::string out = folder.File("out.assets");
    ASSERT_EQ(Cli("import " + Q(input) + " --asset 1 --data " + Q(folder.File("new.data")) +
                  " -o " + Q(out))
                  .status,
              0);
    ASSERT_EQ(Cli("export " + Q(out) + " --asset 1 -o " + Q(folder.File("x"))).status, 0);
    EXPECT_EQ(ReadBytes(folder.File("x")), Filled(50, 9));

    ASSERT_EQ(
        Cli("add " + Q(out) + " --name Added --type 0x72 --index-offset 100 -o " + Q(out)).status,
        0);
    nlohmann::json j = nlohmann::json::parse(Cli("list --json " + Q(out)).out);
    ASSERT_EQ(j["assets"].size(), 4u);
    EXPECT_EQ(j["assets"][3]["name"], "Added");
    EXPECT_EQ(j["assets"][3]["typeId"], 114);
    EXPECT_EQ(j["assets"][3]["pathId"], 108);

    ASSERT_EQ(Cli("remove " + Q(out) + " --path-id 1 -o " + Q(out)).status, 0);
    j = nlohmann::json::parse(Cli("list --json " + Q(out)).out);
    EXPECT_EQ(j["assets"].size(), 3u);
    EXPECT_EQ(j["assets"][0]["name"], "aaa");
}

// The type is read as the Add dialog reads it: base prefixes, a sign, trailing text ignored.
TEST_F(CliTest, AddReadsTheTypeLikeTheAddDialog) {
    std::string out = folder.File("typed.assets");
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"072", 58}, {"-2", 0xFFFFFFFEu}, {"12abc", 12}, {"99999999999", 0xFFFFFFFFu}};
    for (const auto& [text, value] : cases) {
        ASSERT_EQ(Cli("add " + Q(input) + " --name t --type=" + text + " -o " + Q(out)).status, 0)
            << text;
        nlohmann::json j = nlohmann::json::parse(Cli("list --json " + Q(out)).out);
        EXPECT_EQ(j["assets"][3]["typeId"], value) << text;
    }
}

// The later forms: list and info on a real sample, 64-bit path ids and classes by name.
TEST_F(CliTest, LaterFormsListInfoPathIdsAndClasses) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    const std::string pong =
        std::string(realdata != nullptr ? realdata : "") + "/modern/pong_u2021318/resources.assets";
    if (std::filesystem::exists(pong)) {
        nlohmann::json j = nlohmann::json::parse(Cli("list --json " + Q(pong)).out);
        EXPECT_EQ(j["format"], 22);
        EXPECT_EQ(j["engineVersion"], "2021.3.18f1");
        ASSERT_EQ(j["assets"].size(), 10u);
        EXPECT_EQ(j["assets"][3]["name"], "EmojiOne");
        EXPECT_EQ(j["assets"][3]["className"], "Texture2D");
        EXPECT_EQ(j["assets"][3]["classId"], 28);
        nlohmann::json info = nlohmann::json::parse(Cli("info --json " + Q(pong)).out);
        EXPECT_EQ(info["platform"], 19);
        EXPECT_EQ(info["typeTreesKept"], false);
        EXPECT_EQ(info["types"].size(), 7u);
        EXPECT_EQ(info["types"][0]["className"], "Material");
        CliRun text = Cli("info " + Q(pong));
        EXPECT_NE(text.out.find("Engine version:  2021.3.18f1"), std::string::npos) << text.out;
    }

    SerializedFileBuilder b(22);
    const std::uint32_t texture = b.AddType(28, NamedTree("Texture2D"));
    b.AddObject(std::int64_t{1} << 40, texture, b.Name("Far"));
    const std::string later = folder.File("later.assets");
    WriteBytes(later, b.Build());
    const std::string out = folder.File("later-out.assets");
    ASSERT_EQ(
        Cli("export " + Q(later) + " --path-id 1099511627776 -o " + Q(folder.File("far"))).status,
        0);
    EXPECT_TRUE(ReadBytes(folder.File("far")).empty());
    ASSERT_EQ(Cli("add " + Q(later) + " --name Near --type Texture2D -o " + Q(out)).status, 0);
    nlohmann::json j = nlohmann::json::parse(Cli("list --json " + Q(out)).out);
    ASSERT_EQ(j["assets"].size(), 2u);
    EXPECT_EQ(j["assets"][1]["name"], "Near");
    EXPECT_EQ(j["assets"][1]["pathId"], (std::int64_t{1} << 40) + 1);
    CliRun refused = Cli("add " + Q(later) + " --name m --type 43 -o " + Q(out));
    ExpectOneErrorLine(refused, 2);
    EXPECT_NE(refused.err.find("cannot invent"), std::string::npos) << refused.err;
}

TEST_F(CliTest, OutMayNameTheInputItself) {
    std::string copy = folder.File("copy.assets");
    WriteBytes(copy, original);
    ASSERT_EQ(Cli("remove " + Q(copy) + " --asset 0 -o " + Q(copy)).status, 0);
    EXPECT_EQ(nlohmann::json::parse(Cli("list --json " + Q(copy)).out)["assets"].size(), 2u);
}

TEST_F(CliTest, UsageErrorsExitWithOne) {
    ExpectOneErrorLine(Cli(""), 1);
    ExpectOneErrorLine(Cli("frobnicate " + Q(input)), 1);
    ExpectOneErrorLine(Cli("export " + Q(input) + " -o x"), 1);  // no asset chosen
    ExpectOneErrorLine(Cli("export " + Q(input) + " --asset 0 --path-id 1 -o x"), 1);
    ExpectOneErrorLine(Cli("add " + Q(input) + " --name a -o x"), 1);
}

TEST_F(CliTest, UnusableInputsExitWithTwoAndWriteNothing) {
    std::string out = folder.File("never");
    ExpectOneErrorLine(Cli("list " + Q(folder.File("missing"))), 2);
    WriteBytes(folder.File("damaged"), AssetFileBuilder{}.AssetCount(1000000).Build());
    CliRun damaged = Cli("list " + Q(folder.File("damaged")));
    ExpectOneErrorLine(damaged, 2);
    EXPECT_NE(damaged.err.find("does not fit"), std::string::npos);
    ExpectOneErrorLine(Cli("export " + Q(input) + " --asset 3 -o " + Q(out)), 2);
    ExpectOneErrorLine(Cli("remove " + Q(input) + " --path-id 99 -o " + Q(out)), 2);
    ExpectOneErrorLine(Cli("import " + Q(input) + " --asset 0 --data " + Q(folder.File("nodata")) +
                           " -o " + Q(out)),
                       2);
    ExpectOneErrorLine(
        Cli("add " + Q(input) + " --name a --type 1 -o " + Q(folder.File("no/such/folder/out"))),
        2);
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace kestrova::testing
