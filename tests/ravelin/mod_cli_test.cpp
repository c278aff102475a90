// kestrova-cli mod run as a program: build from generated asset files, info in both forms,
// extract, and its failures; input files are never written.

#include <nlohmann/json.hpp>

#include "tests/document/document_test_support.h"
#include "tests/document/program_run.h"
#include "tests/ravelin/mod_test_support.h"

namespace kestrova::testing {
namespace {

// Two assets in one file, built out of line (inlined into a fixture, the builder's defaults
// trip a false warning of gcc 12).
[[gnu::noinline]] Bytes TwoAssets(const char* name1, std::uint32_t type1, std::uint32_t pathId1,
                                  const Bytes& body1, const char* name2, std::uint32_t type2,
                                  std::uint32_t pathId2, const Bytes& body2) {
    AssetFileBuilder builder;
    builder.Add(name1, type1, pathId1, body1).Add(name2, type2, pathId2, body2);
    return builder.Build();
}

class ModCliTest : public RavelinTest {
protected:
    void SetUp() override {
        firstBytes = TwoAssets("Crosshair", 28, 1, Filled(21, 1), "", 83, 7, Filled(9, 3));
        secondBytes = TwoAssets("aaa", 83, 2, Filled(30, 2), "Hello", 28, 0xFFFFFFFE, Filled(4, 9));
        WriteFile("b.assets", firstBytes);
        WriteFile("a.assets", secondBytes);
    }
    void TearDown() override {
        EXPECT_EQ(ReadFile("b.assets"), firstBytes) << "an input was written";
        EXPECT_EQ(ReadFile("a.assets"), secondBytes) << "an input was written";
    }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run Cli(const std::string& args) {
        const std::string err = folder.File("stderr");
        ProgramRun program = RunProgram(std::string(KESTROVA_CLI) + " mod " + args + " 2>" + err);
        Bytes errBytes = ReadBytes(err);
        return {program.status, program.out, std::string(errBytes.begin(), errBytes.end())};
    }
    std::string Q(const std::string& name) { return "'" + folder.File(name) + "'"; }
    // `mod info --json` of a file in the test folder; null when it failed.
    nlohmann::json Info(const std::string& name) {
        Run info = Cli("info --json " + Q(name));
        EXPECT_EQ(info.status, 0) << info.err;
        return info.status == 0 ? nlohmann::json::parse(info.out) : nlohmann::json();
    }

    Bytes firstBytes;
    Bytes secondBytes;
};

TEST_F(ModCliTest, BuildWithoutOptionsWritesANewModAsSaveModDoes) {
    ASSERT_EQ(Cli("build -o " + Q("new.umod")).status, 0);
    EXPECT_EQ(ReadFile("new.umod"), ModFileBytes({u"not set", u"not set", u"not set", u"not set",
                                                  u"not set", u"", u"not set", u"default", u""},
                                                 {}, {}));
}

TEST_F(ModCliTest, BuildAddsAsAddFileDoesSkipsDuplicatesAndIsRepeatable) {
    const std::string args =
        "--name 'Two files' --author Ann --date 2026 --version 1.2 "
        "--directory Games/X/Data --verify-file mainData --description d "
        "--installer fancy --icon /i.ico --add " +
        Q("b.assets:0") + " --add " + Q("a.assets:1") + " --add " + Q("b.assets:1") + " --add " +
        Q("b.assets:0");
    Run run = Cli("build -o " + Q("one.umod") + " " + args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Asset already exists in mod."), std::string::npos) << run.err;
    ASSERT_EQ(Cli("build -o " + Q("two.umod") + " " + args).status, 0);
    EXPECT_EQ(ReadFile("one.umod"), ReadFile("two.umod"));

    // Entries sorted by file name; each holds its asset's whole data, padded to 4.
    Bytes crosshair = NamePrefix("Crosshair");
    for (std::uint8_t b : Filled(21, 1)) {
        crosshair.push_back(b);
    }
    crosshair.resize(40, 0);  // 4 + 12 name bytes, 21 body bytes, 3 zeros
    Bytes hello = NamePrefix("Hello");
    for (std::uint8_t b : Filled(4, 9)) {
        hello.push_back(b);
    }
    Bytes unnamed = Filled(9, 3);
    unnamed.resize(12, 0);
    Bytes payload = crosshair;
    payload.insert(payload.end(), hello.begin(), hello.end());
    payload.insert(payload.end(), unnamed.begin(), unnamed.end());
    EXPECT_EQ(ReadFile("one.umod"),
              ModFileBytes({u"Two files", u"Ann", u"2026", u"1.2", u"Games/X/Data", u"mainData",
                            u"d", u"fancy", u"/i.ico"},
                           {{u"a.assets", u"Hello", 28, 0xFFFFFFFE, 16, 40},
                            {u"b.assets", u"Crosshair", 28, 1, 40, 0},
                            {u"b.assets", u"unnamed asset", 83, 7, 12, 56}},
                           payload));

    nlohmann::json j = Info("one.umod");
    EXPECT_EQ(j["format"], "current");
    EXPECT_EQ(j["name"], "Two files");
    EXPECT_EQ(j["installer"], "fancy");
    EXPECT_EQ(j["entries"].size(), 3u);
    EXPECT_EQ(j["entries"][0]["index"], 0xFFFFFFFEu);
    EXPECT_EQ(j["entries"][2]["offset"], 56);
    EXPECT_EQ(j["payloadSize"], payload.size());
    Run text = Cli("info " + Q("one.umod"));
    EXPECT_NE(text.out.find("index -2"), std::string::npos) << text.out;

    Run extract = Cli("extract " + Q("one.umod") + " -d " + Q("parts"));
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadFile("parts/000-a.assets-Hello--2.data"), hello);
    EXPECT_EQ(ReadFile("parts/001-b.assets-Crosshair-1.data"), crosshair);
    EXPECT_EQ(ReadFile("parts/002-b.assets-unnamed_asset-7.data"), unnamed);
}

TEST_F(ModCliTest, InfoAndExtractReadTheOlderAndTheExtendedForm) {
    WriteFile("old.umod",
              ModFileBytes({u"Old", u"a", u"d", u"v", u"dir", u"", u"text", u"i.ico"},
                           {{u"f", u"g", 1, 2, 4, 0}}, ToBytes("DATA"), ravelin::ModFormat::Older));
    nlohmann::json j = Info("old.umod");
    EXPECT_EQ(j["format"], "older");
    EXPECT_EQ(j["installer"], "default");
    EXPECT_EQ(j["iconPath"], "i.ico");
    EXPECT_EQ(j["payloadSize"], 4);

    // -5717498367417880155 is 0xB0A75D87_062E71A5.
    WriteFile(
        "new.umod",
        ModFileBytes({u"New", u"a", u"d", u"v", u"dir", u"", u"text", u"x", u""},
                     {{u"data.unity3d", u"Hero", 28, 0x062E71A5, 4, 0, u"CAB-5f3c", 28, 0xB0A75D87},
                      {u"level0", u"", 49, 7, 4, 4}},
                     ToBytes("HEROLVL0"), ravelin::ModFormat::Extended));
    j = Info("new.umod");
    EXPECT_EQ(j["format"], "extended");
    ASSERT_EQ(j["entries"].size(), 2u);
    EXPECT_EQ(j["entries"][0]["member"], "CAB-5f3c");
    EXPECT_EQ(j["entries"][0]["classId"], 28);
    EXPECT_EQ(j["entries"][0]["pathId"], -5717498367417880155);
    EXPECT_EQ(j["entries"][1]["member"], "");
    EXPECT_EQ(j["entries"][1]["pathId"], 7);
    Run text = Cli("info " + Q("new.umod"));
    EXPECT_NE(text.out.find("member CAB-5f3c  Hero  type 0x0000001C  class 28  path id "
                            "-5717498367417880155"),
              std::string::npos)
        << text.out;
    ASSERT_EQ(Cli("extract " + Q("new.umod") + " -d " + Q("parts")).status, 0);
    EXPECT_EQ(ReadFile("parts/000-data.unity3d-CAB-5f3c-Hero--5717498367417880155.data"),
              ToBytes("HERO"));
}

TEST_F(ModCliTest, DamagedFilesAndBadArgumentsFailWithOneLineAndWriteNothing) {
    Bytes damaged = ModFileBytes({u"", u"", u"", u"", u"", u"", u"", u"", u""},
                                 {{u"f", u"g", 1, 2, 40, 0}}, ToBytes("DATA"));
    WriteFile("damaged.umod", damaged);
    WriteFile("keep.umod", ToBytes("keep"));
    auto expectFailure = [&](const std::string& args, int status) {
        Run run = Cli(args);
        EXPECT_EQ(run.status, status) << args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    };
    expectFailure("info " + Q("damaged.umod"), 2);
    expectFailure("extract " + Q("damaged.umod") + " -d " + Q("parts"), 2);
    expectFailure("info " + Q("missing.umod"), 2);
    expectFailure("build -o " + Q("keep.umod") + " --add " + Q("b.assets:5"), 2);
    expectFailure("build -o " + Q("keep.umod") + " --add " + Q("missing.assets:0"), 2);
    expectFailure("build -o " + Q("keep.umod") + " --add " + Q("b.assets"), 1);
    EXPECT_EQ(ReadFile("keep.umod"), ToBytes("keep"));
    EXPECT_EQ(ReadFile("damaged.umod"), damaged);
    EXPECT_FALSE(Exists("parts"));
}

}  // namespace
}  // namespace kestrova::testing
