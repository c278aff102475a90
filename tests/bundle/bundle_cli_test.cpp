// kestrova-cli's bundle commands run as a program: list (text and JSON) and extract, which
// writes every node under its folder and refuses a bundle whose paths would leave it; the file
// commands on a bundle's member with --member and --compression.

#include <nlohmann/json.hpp>

#include "tests/bundle/bundle_test_support.h"
#include "tests/document/program_run.h"

namespace kestrova::testing {
namespace {

class BundleCliTest : public BundleTest {
protected:
    ProgramRun Cli(const std::string& args) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + args + " 2>" + folder.File("stderr"));
    }
    std::string Errors() const { return folder.Read("stderr"); }
    std::string Write(const std::vector<FsNode>& nodes) {
        FsShape shape;
        shape.blockCompressions = {3, 1};
        shape.nodes = nodes;
        WriteBytes(folder.File("in.bundle"), BuildUnityFs(shape, data));
        return "'" + folder.File("in.bundle") + "'";
    }

    const Bytes data = AssetLikeData(6000, 21);
};

TEST_F(BundleCliTest, ListGivesFormatFlagsBlocksAndNodes) {
    const std::string bundle = Write({{0, 4000, 4, "CAB-a"}, {4000, 2000, 0, "CAB-a.resS"}});
    ProgramRun run = Cli("bundle list --json " + bundle);
    ASSERT_EQ(run.status, 0) << Errors();
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["kind"], "UnityFS");
    EXPECT_EQ(json["format"], 7);
    EXPECT_EQ(json["flags"], 0x43);
    EXPECT_EQ(json["blocks"][1]["compression"], "LZMA");
    EXPECT_EQ(json["nodes"][1]["path"], "CAB-a.resS");
    EXPECT_EQ(json["nodes"][1]["offset"], 4000);

    run = Cli("bundle list " + bundle);
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("CAB-a  offset 0  size 4000  flags 4 (serialized)"), std::string::npos)
        << run.out;

    WriteBytes(folder.File("plain"), Bytes(100, 7));
    EXPECT_EQ(Cli("bundle list '" + folder.File("plain") + "'").status, 2);
    EXPECT_NE(Errors().find("not a bundle"), std::string::npos) << Errors();
}

TEST_F(BundleCliTest, ExtractWritesEveryNodeAndRefusesPathsOutOfTheFolder) {
    std::string bundle = Write({{0, 4000, 4, "CAB-a"}, {4000, 2000, 0, "sub/CAB-a.resS"}});
    ProgramRun run = Cli("bundle extract " + bundle + " -d '" + folder.File("out") + "'");
    ASSERT_EQ(run.status, 0) << Errors();
    EXPECT_EQ(ReadBytes(folder.File("out/sub/CAB-a.resS")), Bytes(data.begin() + 4000, data.end()));
    EXPECT_EQ(ReadBytes(folder.File("out/CAB-a")).size(), 4000u);

    for (const char* evil : {"../evil", "/tmp/evil", "sub/../../evil"}) {
        bundle = Write({{0, 10, 4, "CAB-a"}, {10, 10, 0, evil}});
        run = Cli("bundle extract " + bundle + " -d '" + folder.File("refused") + "'");
        EXPECT_EQ(run.status, 2) << evil;
        EXPECT_NE(Errors().find(evil), std::string::npos) << Errors();
        EXPECT_FALSE(std::filesystem::exists(folder.File("refused"))) << evil;
        EXPECT_FALSE(std::filesystem::exists(folder.File("evil"))) << evil;
    }
}

TEST_F(BundleCliTest, FileCommandsTakeAMemberAndWriteTheBundleCompressedAsChosen) {
    const Bytes member = AssetFileBuilder().Add("alpha", 49, 1, {}).Add("beta", 49, 2, {}).Build();
    Bytes stream = member;
    stream.insert(stream.end(), member.begin(), member.end());
    FsShape shape;
    shape.nodes = {{0, member.size(), 4, "level0"}, {member.size(), member.size(), 4, "level1"}};
    WriteBytes(folder.File("two"), BuildUnityFs(shape, stream));
    const std::string two = "'" + folder.File("two") + "'", out = "'" + folder.File("out") + "'";
    EXPECT_EQ(Cli("list " + two).status, 2);
    EXPECT_NE(Errors().find("files: level0 ("), std::string::npos) << Errors();

    ASSERT_EQ(
        Cli("remove " + two + " --member level1 --asset 0 --compression lzma -o " + out).status, 0);
    EXPECT_EQ(
        nlohmann::json::parse(Cli("bundle list --json " + out).out)["blocks"][0]["compression"],
        "LZMA");
    const ProgramRun run = Cli("list " + out + " --member level1");
    EXPECT_EQ(run.out.find("alpha"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("beta"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kestrova::testing
