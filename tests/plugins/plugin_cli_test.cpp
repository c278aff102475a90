// kestrova-cli and plug-ins: the table as the editor would load it, and conversions through a
// plug-in without a window, for one asset and for all of them.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/text.h"
#include "tests/document/asset_file_builder.h"
#include "tests/document/program_run.h"
#include "tests/plugins/plugin_test_support.h"

namespace kestrova::testing {
namespace {

class PluginCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugins = folder.File("Plugins");
        InstallPlugin(plugins, "rec/rec.plg",
                      Descriptor("Recorder", "rec.so", "Texture2D", "1C",
                                 Extension("png", "PNG") + Extension("PNG", "Again")),
                      RECORDING_PLUGIN, "rec.so");
        InstallPlugin(plugins, "rec/sub/part.plg", Descriptor("Partial", "part.so", "Hex", "0"),
                      PARTIAL_PLUGIN, "part.so");
        InstallPlugin(plugins, "zz/broken.plg", Descriptor("Broken", "none.so", "Mod", "0"), "",
                      "");
        AssetFileBuilder b;
        b.Add("Crosshair", 28, 1, {1, 2, 3})
            .Add("a:b", 28, 2, {4})
            .Add("A:B", 28, 3, {5})
            .Add("sound", 83, 4, {6, 6});
        input = folder.File("in.assets");
        WriteBytes(input, b.Build());
    }

    ProgramRun Cli(const std::string& args) {
        return RunProgram(std::string(KESTROVA_CLI) + " " + args + " 2>" + folder.File("err"));
    }
    std::string Err() {
        Bytes err = ReadBytes(folder.File("err"));
        return {err.begin(), err.end()};
    }
    std::string Text(const std::string& path) {
        Bytes bytes = ReadBytes(path);
        return {bytes.begin(), bytes.end()};
    }

    TempFolder folder;
    std::string plugins;
    std::string input;
};

TEST_F(PluginCliTest, ListsThePlugInTableInScanOrderWithItsEntryPoints) {
    ProgramRun run = Cli("plugins --json --dir '" + plugins + "'");
    ASSERT_EQ(run.status, 0) << Err();
    const nlohmann::json table = nlohmann::json::parse(run.out);

    PluginTable reference;
    CollectingSink sink;
    LoadPlugins(reference, Utf8ToUtf16(plugins), sink);
    ASSERT_EQ(table.size(), reference.plugins.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PluginRecord& record = reference.plugins[i];
        EXPECT_EQ(table[i]["descriptor"], Utf16ToUtf8(record.descriptorPath));
        EXPECT_EQ(table[i]["name"], Utf16ToUtf8(record.descriptor.name));
        EXPECT_EQ(table[i]["loaded"], record.loaded());
        EXPECT_EQ(table[i]["type"], record.descriptor.type);
        for (std::size_t e = 0; e < kEntryPointNames.size(); ++e) {
            EXPECT_EQ(table[i]["entryPoints"][kEntryPointNames[e].exported],
                      HasEntryPoint(record, e));
        }
    }
    // Missing entry points are in the output, not in message boxes or on standard error.
    EXPECT_EQ(Err(), "");
    EXPECT_EQ(Cli("plugins --dir '" + plugins + "'")
                      .out.find("missing AssetChanged, ExportData, "
                                "ImportData") == std::string::npos,
              false);
}

// Started by its bare name through PATH, from a folder without plug-ins, as a shell or a desktop
// menu starts it, the tool still finds the plug-ins beside its own file: here the shipped texture
// plug-in's type name selects the assets.
TEST_F(PluginCliTest, StartedThroughPathFindsThePlugInsBesideItsFile) {
    const std::string program(KESTROVA_CLI);
    const std::size_t slash = program.rfind('/');
    folder.MakeFolder("elsewhere");
    const std::string elsewhere = folder.File("elsewhere");
    ProgramRun run = RunProgram("cd '" + elsewhere + "' && PATH='" + program.substr(0, slash) +
                                "':\"$PATH\" " + program.substr(slash + 1) + " export '" + input +
                                "' --all --type Texture2D -d out 2>" + folder.File("err"));
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_EQ(Text(elsewhere + "/out/Crosshair.data"), std::string("\x01\x02\x03", 3));
    EXPECT_NE(run.out.find("Wrote 3 of 3 assets"), std::string::npos) << run.out;

    // The table names the types as the editor's list does.
    run = RunProgram("cd '" + elsewhere + "' && " + program + " list '" + input + "'");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Crosshair  Texture2D"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("0x0000001C"), std::string::npos) << run.out;

    // With no Plugins folder where it runs, it lists those beside it.
    run = RunProgram("cd '" + elsewhere + "' && " + program + " plugins --json");
    ASSERT_EQ(run.status, 0);
    const nlohmann::json table = nlohmann::json::parse(run.out);
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table[0]["descriptor"].get<std::string>().rfind(program.substr(0, slash), 0), 0u);
}

TEST_F(PluginCliTest, ConvertsOneAssetThroughThePlugInThatClaimsItsType) {
    ProgramRun run = Cli("export '" + input + "' --asset 0 --as PNG --plugins '" + plugins +
                         "' -o '" + folder.File("out.png") + "'");
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_EQ(Text(folder.File("out.png")), std::string("PNG:\x01\x02\x03", 7));

    WriteBytes(folder.File("new.png"), {'x', 'y'});
    run = Cli("import '" + input + "' --asset 0 --data '" + folder.File("new.png") +
              "' --as png --plugins '" + plugins + "' -o '" + folder.File("out.assets") + "'");
    ASSERT_EQ(run.status, 0) << Err();
    run = Cli("export '" + folder.File("out.assets") + "' --asset 0 -o '" + folder.File("body") +
              "'");
    // Both data types whose extension matches converted, in the descriptor's order.
    EXPECT_EQ(Text(folder.File("body")), "PNG:png:xy");

    run = Cli("export '" + input + "' --asset 3 --as png --plugins '" + plugins + "' -o '" +
              folder.File("x.png") + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(Err().find("no plug-in converts assets of type 0x00000053 to or from .png"),
              std::string::npos);
}

TEST_F(PluginCliTest, ExportsEveryAssetOfATypeUnderSafeDistinctNames) {
    const std::string out = folder.File("all");
    ProgramRun run = Cli("export '" + input + "' --all --type texture2d --as png --plugins '" +
                         plugins + "' -d '" + out + "'");
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_EQ(Text(out + "/Crosshair.png"), std::string("png:\x01\x02\x03", 7));
    EXPECT_EQ(Text(out + "/a_b (2).png"), std::string("png:\x04", 5));
    EXPECT_EQ(Text(out + "/A_B (3).png"), std::string("png:\x05", 5));
    EXPECT_FALSE(std::filesystem::exists(out + "/sound.data"));
    EXPECT_NE(run.out.find("Wrote 3 of 3 assets"), std::string::npos) << run.out;

    run = Cli("export '" + input + "' --all -d '" + out + "'");
    ASSERT_EQ(run.status, 0) << Err();
    EXPECT_EQ(Text(out + "/sound.data"), std::string("\x06\x06", 2));
}

}  // namespace
}  // namespace kestrova::testing
