// The hand-over of the selected asset to a real plug-in library, the write-back of its changes,
// and the conversions of Export and Import through its data types.

#include "editor/plugins/plugin_host.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/text.h"
#include "document/bundle/bundle_document.h"
#include "editor/plugins/asset_context.h"
#include "editor/plugins/plugin_context.h"
#include "tests/bundle/bundle_builder.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/shell/shell_test_hosts.h"

namespace kestrova {
namespace {

using testing::AssetFileBuilder;
using testing::BuildUnityFs;
using testing::Bytes;
using testing::CollectingSink;
using testing::Descriptor;
using testing::Extension;
using testing::FsShape;
using testing::InstallPlugin;
using testing::NamePrefix;
using testing::ReadBytes;
using testing::RecordingControls;
using testing::TempFolder;
using testing::WriteBytes;
using Lines = std::vector<std::string>;

std::string AsText(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

Bytes AsBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class RecordingSite : public PluginPanelSite {
public:
    void* PanelParent() override { return &parent; }
    void ShowPanel(void* panel) override { shown.push_back(panel); }
    int parent = 0;
    std::vector<void*> shown;
};

class PluginHostTest : public ::testing::Test {
protected:
    PluginHostTest() {
        shell.document.workingFolder = Utf8ToUtf16(folder.File("Temp"));
        view.shell = &shell;
    }
    ~PluginHostTest() override { shell.Shutdown(); }

    // Installs the recording plug-in (or another) under `typeName`/`type` and starts the host.
    RecordingControls Start(const std::string& typeName, const std::string& type,
                            const std::string& data = "",
                            const std::string& library = RECORDING_PLUGIN) {
        InstallPlugin(std::filesystem::path(folder.path()) / "Plugins", "rec/rec.plg",
                      Descriptor("Recorder", "rec.so", typeName, type, data), library, "rec.so");
        LoadPlugins(table, Utf8ToUtf16(folder.File("Plugins")), sink);
        host = std::make_unique<PluginHost>(table, site);
        shell.SetPluginBridge(host.get());
        return RecordingControls(table.plugins.at(0));
    }

    // Five assets; four of type 28 (0x1C) and one of type 99:
    //   0 "Beta" 010203, 1 unnamed 09090909, 2 "gamma" 0505050505, 3 "delta" (99) 07, 4 "eps" 08
    void Open() {
        AssetFileBuilder b;
        b.Add("Beta", 28, 11, {1, 2, 3})
            .Add("", 28, 12, {9, 9, 9, 9})
            .Add("gamma", 28, 13, {5, 5, 5, 5, 5})
            .Add("delta", 99, 14, {7})
            .Add("eps", 28, 15, {8});
        WriteBytes(folder.File("doc.assets"), b.Build());
        chooser.Next(Utf8ToUtf16(folder.File("doc.assets")), 1);
        shell.OpenFile();
        ASSERT_EQ(shell.rowCount(), 5u);
    }

    Bytes Body(std::uint32_t index) { return ReadAssetBody(shell.document, index).value(); }
    Bytes WorkingCopy() { return ReadBytes(Utf16ToUtf8(shell.document.WorkingCopyPath())); }

    TempFolder folder;
    RecordingView view;
    ScriptedChooser chooser;
    EditorShell shell{view, chooser};
    PluginTable table;
    CollectingSink sink;
    RecordingSite site;
    std::unique_ptr<PluginHost> host;
};

TEST_F(PluginHostTest, HandsOverBodiesAndWritesChangesBackIntoTheAssetLeft) {
    RecordingControls plugin = Start("Texture2D", "1C");
    Open();
    ASSERT_TRUE(shell.SelectAsset(0));
    EXPECT_EQ(plugin.Lines(), Lines{"create parent 010203"});
    EXPECT_EQ(site.shown.size(), 1u);
    EXPECT_EQ(shell.statusText, u"Asset Selected: Beta");

    // Three bytes longer: "Beta" grows, every asset after it moves, its name prefix stays.
    const std::vector<AssetEntry> before = shell.document.entries;
    plugin.reset();
    plugin.setChanged(1);
    plugin.Data({0xA, 0xB, 0xC, 0xD, 0xE, 0xF});
    ASSERT_TRUE(shell.SelectAsset(2));
    EXPECT_EQ(plugin.Lines(), (Lines{"changed", "get 0", "create parent 0505050505"}));
    EXPECT_EQ(Body(0), (Bytes{0xA, 0xB, 0xC, 0xD, 0xE, 0xF}));
    EXPECT_EQ(shell.document.entries[0].size, before[0].size + 3);
    for (std::uint32_t i = 1; i < 5; ++i) {
        EXPECT_EQ(shell.document.entries[i].offset, before[i].offset + 3) << i;
        EXPECT_EQ(Body(i), ReadAssetBody(shell.document, i).value());
    }
    const Bytes copy = WorkingCopy();
    const Bytes prefix = NamePrefix("Beta");
    const std::uint64_t at = shell.document.DataBase() + shell.document.entries[0].offset;
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), copy.begin() + at));

    // An unnamed asset is handed over whole; only exactly 1 counts as a change.
    plugin.reset();
    plugin.setChanged(2);
    ASSERT_TRUE(shell.SelectAsset(1));
    EXPECT_EQ(plugin.Lines(), (Lines{"changed", "create parent 09090909"}));
    EXPECT_EQ(Body(2), (Bytes{5, 5, 5, 5, 5}));

    // The same asset again, and a mode button: only a new panel, no question about changes.
    plugin.reset();
    plugin.setChanged(1);
    ASSERT_TRUE(shell.SelectAsset(1));
    shell.SetPanelMode(PanelMode::Plugin);
    EXPECT_EQ(plugin.Lines(), (Lines{"create parent 09090909", "create parent 09090909"}));

    // An asset no plug-in claims: the old panel goes, none comes, the status names the asset.
    plugin.reset();
    plugin.setChanged(1);
    plugin.Data({});
    ASSERT_TRUE(shell.SelectAsset(3));
    EXPECT_EQ(plugin.Lines(), (Lines{"changed", "get 0"}));
    EXPECT_EQ(Body(1), Bytes{});  // null with length 0 empties the body
    EXPECT_EQ(shell.statusText, u"Asset Selected: delta");
    EXPECT_EQ(host->currentPlugin(), nullptr);
}

TEST_F(PluginHostTest, BadOrThrowingResultsWriteNothingAndSaySo) {
    RecordingControls plugin = Start("Texture2D", "1C");
    Open();
    const Bytes before = WorkingCopy();
    for (int how : {1, 2, 3}) {
        ASSERT_TRUE(shell.SelectAsset(0));
        plugin.setChanged(1);
        plugin.Data({1, 2, 3, 4, 5}, how);
        ASSERT_TRUE(shell.SelectAsset(2));
        EXPECT_EQ(WorkingCopy(), before) << how;
        EXPECT_NE(view.paints.end(),
                  std::find_if(view.paints.begin(), view.paints.end(),
                               [](const auto& paint) {
                                   return paint.text.find(u"returned invalid data from GetData") !=
                                          std::u16string::npos;
                               }))
            << how;
        plugin.setChanged(0);
    }
}

TEST_F(PluginHostTest, AFailedWriteBackLeavesTheWorkingCopyWhole) {
    RecordingControls plugin = Start("Texture2D", "1C");
    Open();
    ASSERT_TRUE(shell.SelectAsset(0));
    plugin.setChanged(1);
    plugin.Data(Bytes(4000, 0x44));
    const Bytes before = WorkingCopy();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
        setrlimit(RLIMIT_FSIZE, &limit);
        shell.SelectAsset(2);
        const bool reported = shell.statusText.find(u"were not saved") == std::u16string::npos;
        _exit(WorkingCopy() == before && shell.document.entries[0].size == 16 && !reported ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PluginHostTest, ChangesGoOnlyIntoTheAssetThatWasHandedOver) {
    RecordingControls plugin = Start("Texture2D", "1C");
    Open();
    ASSERT_TRUE(shell.SelectAsset(4));
    plugin.setChanged(1);
    plugin.Data({0x77});
    // Adding an asset rebuilds the list: the changes go back into "eps" first, then the
    // hand-over ends, so the next selection asks nothing.
    shell.AddAsset(u"new", u"", u"28");
    EXPECT_EQ(Body(4), Bytes{0x77});
    plugin.reset();
    plugin.Data({0x66});
    ASSERT_TRUE(shell.SelectAsset(2));
    EXPECT_EQ(plugin.Lines(), Lines{"create parent 0505050505"});

    // Removing the asset shown drops its changes with it; a new file drops them too.
    plugin.setChanged(1);
    shell.RemoveAsset();
    EXPECT_EQ(shell.document.entries.size(), 5u);
    Open();
    plugin.reset();
    ASSERT_TRUE(shell.SelectAsset(1));
    EXPECT_EQ(plugin.Lines(), Lines{"create parent 09090909"});
    EXPECT_EQ(Body(0), (Bytes{1, 2, 3}));
}

TEST_F(PluginHostTest, MissingEntryPointsAreNeverCalled) {
    RecordingControls plugin = Start("Hex", "1C", Extension("bin", "Raw (*.bin)"), PARTIAL_PLUGIN);
    EXPECT_EQ(sink.warnings.size(), 3u);
    Open();
    shell.SetPanelMode(PanelMode::Hex);
    ASSERT_TRUE(shell.SelectAsset(3));
    plugin.Data({1});
    ASSERT_TRUE(shell.SelectAsset(0));
    // No AssetChanged means no change: GetData is not asked either.
    EXPECT_EQ(plugin.Lines(), (Lines{"create parent 07", "create parent 010203"}));

    // Export through a data type the plug-in cannot convert is refused, nothing written.
    shell.SetPanelMode(PanelMode::Plugin);
    chooser.Next(Utf8ToUtf16(folder.File("out.bin")), 1);
    shell.ExportAsset();
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.bin")));
    EXPECT_NE(shell.statusText.find(u"has no ExportData"), std::u16string::npos);
}

TEST_F(PluginHostTest, ModModeTellsThePlugInTheFileAndTheAsset) {
    RecordingControls plugin = Start("Mod", "0");
    plugin.setImport(2);
    Open();
    shell.SetPanelMode(PanelMode::Mod);
    ASSERT_TRUE(shell.SelectAsset(2));
    EXPECT_EQ(plugin.Lines(),
              (Lines{"create parent 0505050505", "import 13 28 doc.assets", "import 13 28 gamma"}));
}

TEST_F(PluginHostTest, ExportAndImportConvertThroughThePlugInsDataTypes) {
    RecordingControls plugin =
        Start("Texture2D", "1C",
              Extension("", "Nothing") + Extension("png", "PNG Image (*.png)") +
                  Extension("txt", "Text (*.txt)") + Extension("PNG", "Other PNG (*.PNG)"));
    Open();
    EXPECT_EQ(shell.cellText(0, 1), u"Texture2D");
    EXPECT_EQ(shell.cellText(3, 1), u"0x00000063");
    ASSERT_TRUE(shell.SelectAsset(0));

    // Filters: the data types with an extension, then raw data and all files; a name typed
    // without an extension gets the chosen data type's.
    chooser.Next(Utf8ToUtf16(folder.File("picture")), 1);
    shell.ExportAsset();
    const FileChooserRequest& request = chooser.requests.back();
    ASSERT_EQ(request.filters.size(), 5u);
    EXPECT_EQ(request.filters[0].pattern, u"*.png");
    EXPECT_EQ(request.filters[1].pattern, u"*.txt");
    EXPECT_EQ(request.filters[2].description, u"Other PNG (*.PNG)");
    EXPECT_EQ(request.filters[3].pattern, u"*.data");
    EXPECT_EQ(AsText(ReadBytes(folder.File("picture.png"))), std::string("png:\x01\x02\x03", 7));
    chooser.Next(Utf8ToUtf16(folder.File("raw")), 4);
    shell.ExportAsset();
    EXPECT_EQ(AsText(ReadBytes(folder.File("raw.data"))), std::string("\x01\x02\x03", 3));
    EXPECT_EQ(view.busySpans, 1);  // the window shows it works while the plug-in converts

    // Import: every data type whose extension matches, in order; then the panel shows the
    // imported data afresh (a new hand-over, so no old changes can overwrite it).
    WriteBytes(folder.File("in.Png"), AsBytes("ab"));
    plugin.reset();
    plugin.setChanged(1);
    chooser.Next(Utf8ToUtf16(folder.File("in.Png")), 1);
    shell.ImportAsset();
    EXPECT_EQ(plugin.Lines(), (Lines{"import png 2 6162", "import PNG 6 706e673a6162",
                                     "create parent 504e473a706e673a6162"}));
    EXPECT_EQ(Body(0), (Bytes{'P', 'N', 'G', ':', 'p', 'n', 'g', ':', 'a', 'b'}));

    // A refusal imports nothing; a file of another extension is imported raw.
    plugin.setImport(1);
    chooser.Next(Utf8ToUtf16(folder.File("in.Png")), 1);
    shell.ImportAsset();
    EXPECT_EQ(Body(0).size(), 10u);
    EXPECT_NE(shell.statusText.find(u"Nothing was imported"), std::u16string::npos);
    EXPECT_EQ(view.busySpans, 3);
    EXPECT_EQ(view.busy, 0);  // a refusal ends the busy time too
    WriteBytes(folder.File("in.data"), AsBytes("xyz"));
    chooser.Next(Utf8ToUtf16(folder.File("in.data")), 1);
    shell.ImportAsset();
    EXPECT_EQ(Body(0), (Bytes{'x', 'y', 'z'}));

    // Outside the Plugin mode the data types are not offered.
    shell.SetPanelMode(PanelMode::Hex);
    chooser.Next(Utf8ToUtf16(folder.File("x")), 1);
    shell.ExportAsset();
    EXPECT_EQ(chooser.requests.back().filters.size(), 2u);

    // The Add dialog takes the type name in any letter case.
    shell.AddAsset(u"added", u"", u"TEXTURE2d");
    EXPECT_EQ(shell.document.entries.back().typeId, 28u);
}

// The context plug-in's extra controls.
struct ContextControls {
    explicit ContextControls(const PluginRecord& record)
        : stream(reinterpret_cast<void (*)(const char*, std::uint64_t, std::uint64_t)>(
              platform::FindSymbol(record.library, "TestSetStream"))),
          report(reinterpret_cast<void (*)(const char*)>(
              platform::FindSymbol(record.library, "TestSetReport"))) {}
    void (*stream)(const char*, std::uint64_t, std::uint64_t);
    void (*report)(const char*);
};

TEST_F(PluginHostTest, TheContextComesBeforeEachHandOverWithTheAssetsFileAndStreams) {
    RecordingControls plugin =
        Start("Texture2D", "1C", Extension("png", "PNG (*.png)"), CONTEXT_PLUGIN);
    ContextControls context(table.plugins.at(0));
    ASSERT_NE(table.plugins.at(0).setPluginContext, nullptr);
    WriteBytes(folder.File("doc.assets.resS"), AsBytes("0123456789"));
    // Only the file name of the path counts: streamed files lie beside the asset file.
    context.stream("../elsewhere/doc.assets.resS", 2, 3);
    Open();
    ASSERT_TRUE(shell.SelectAsset(0));
    EXPECT_EQ(plugin.Lines(),
              (Lines{"context size 88 version 2 format 9 order 0 engine 3.5.5f3 class 28 path 11 "
                     "prefix 0400000042657461",
                     "stream 0 323334", "create parent 010203"}));

    // Past the file's end, and a file that is not there; an unnamed asset has no prefix.
    plugin.reset();
    context.stream("doc.assets.resS", 8, 3);
    ASSERT_TRUE(shell.SelectAsset(1));
    EXPECT_TRUE(plugin.Lines().at(1).ends_with("class 28 path 12 prefix "));
    EXPECT_EQ(plugin.Lines().at(2), "stream 2 ");
    plugin.reset();
    context.stream("archive:/CAB-1/CAB-1.resS", 0, 1);
    ASSERT_TRUE(shell.SelectAsset(2));
    EXPECT_EQ(plugin.Lines().at(2), "stream 1 ");

    // A refusal's reason, as the plug-in reported it, reaches the user.
    context.report("m_Colors[2].second.r: expected a number");
    plugin.setImport(1);
    WriteBytes(folder.File("in.png"), AsBytes("{}"));
    chooser.Next(Utf8ToUtf16(folder.File("in.png")), 1);
    shell.ImportAsset();
    EXPECT_EQ(shell.statusText,
              u"The plug-in \"Recorder\" refused: m_Colors[2].second.r: expected a number. "
              u"Nothing was imported.");
}

TEST_F(PluginHostTest, ClassesWithoutAPlugInOfTheirOwnGoToTheOneThatTakesAnyOther) {
    InstallPlugin(std::filesystem::path(folder.path()) / "Plugins", "any/any.plg",
                  Descriptor("Any", "any.so", "Fields", "FFFFFFFF", Extension("json", "JSON")),
                  CONTEXT_PLUGIN, "any.so");
    Start("Texture2D", "1C");
    auto record = [&](const char* name) {
        return std::find_if(table.plugins.begin(), table.plugins.end(),
                            [&](const auto& r) { return r.descriptor.name == Utf8ToUtf16(name); });
    };
    RecordingControls any(*record("Any"));
    RecordingControls own(*record("Recorder"));
    Open();
    ASSERT_TRUE(shell.SelectAsset(3));  // class 99: no plug-in claims it
    EXPECT_EQ(host->currentPlugin(), &*record("Any"));
    EXPECT_EQ(any.Lines().back(), "create parent 07");
    ASSERT_TRUE(shell.SelectAsset(0));
    EXPECT_EQ(host->currentPlugin(), &*record("Recorder"));
    EXPECT_EQ(own.Lines().back(), "create parent 010203");
}

TEST(PluginContextHolder, LaysTheTypeTreeOutForPlugInsAndReadsOnlyBesideTheFile) {
    TempFolder folder;
    PluginTable table;
    CollectingSink sink;
    InstallPlugin(folder.path(), "c/c.plg", Descriptor("C", "c.so", "C", "1"), CONTEXT_PLUGIN,
                  "c.so");
    LoadPlugins(table, folder.Wide(), sink);
    RecordingControls plugin(table.plugins.at(0));

    AssetContext asset;
    asset.formatVersion = 22;
    asset.engineVersion = "2021.3.18f1";
    asset.bigEndian = true;
    asset.classId = 114;
    asset.pathId = -2;
    asset.typeTree = TypeTree{};
    for (const auto& [level, type, name] : {std::tuple{0, "MonoBehaviour", "Base"},
                                            {1, "string", "m_Name"},
                                            {1, "PPtr<MonoScript>", "m_Script"}}) {
        TypeTreeNode& node = asset.typeTree->nodes.emplace_back();
        node.level = static_cast<std::uint8_t>(level);
        node.type = type;
        node.name = name;
        node.metaFlag = level == 1 ? kAlignAfterField : 0;
        node.byteSize = -1;
        node.refTypeHash = 5;
    }
    asset.folder = folder.Wide();
    PluginContextHolder holder;
    holder.Set(asset);
    CallSetPluginContext(table.plugins.at(0), holder.context());
    EXPECT_EQ(
        plugin.Lines(),
        (Lines{"context size 88 version 2 format 22 order 1 engine 2021.3.18f1 class 114 "
               "path -2 prefix ",
               "node 0 MonoBehaviour Base -1 0 0 0 0 5", "node 1 string m_Name -1 0 16384 0 0 5",
               "node 1 PPtr<MonoScript> m_Script -1 0 16384 0 0 5"}));

    folder.Write("data.resS", "abcdef");
    std::vector<std::uint8_t> out(2);
    EXPECT_EQ(holder.ReadStream("data.resS", 4, out), KESTROVA_STREAM_READ);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{'e', 'f'}));
    EXPECT_EQ(holder.ReadStream("data.resS", 5, out), KESTROVA_STREAM_OUT_OF_RANGE);
    EXPECT_EQ(holder.ReadStream("data.resS", ~0ull, out), KESTROVA_STREAM_OUT_OF_RANGE);
    EXPECT_EQ(holder.ReadStream("..", 0, out), KESTROVA_STREAM_NOT_FOUND);
    EXPECT_EQ(holder.ReadStream("archive:/CAB-1/CAB-1.resS", 0, out), KESTROVA_STREAM_NOT_FOUND);
    holder.SetArchiveReader([](std::string_view path, std::uint64_t offset, auto bytes) {
        bytes[0] = static_cast<std::uint8_t>(path.size());
        bytes[1] = static_cast<std::uint8_t>(offset);
        return KESTROVA_STREAM_READ;
    });
    EXPECT_EQ(holder.ReadStream("archive:/CAB-1/CAB-1.resS", 9, out), KESTROVA_STREAM_READ);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{25, 9}));
}

// The host's archive reader over an open bundle member reads the bundle's other files from the
// working copy, and only inside them.
TEST(PluginContextTest, ArchivePathsReadTheOpenBundlesFiles) {
    TempFolder folder;
    Bytes stream = AssetFileBuilder().Add("tex", 28, 1, Bytes(8, 1)).Build();
    const std::uint64_t serialized = stream.size();
    stream.insert(stream.end(), {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    FsShape shape;
    shape.nodes = {{0, serialized, 4, "CAB-1"}, {serialized, 10, 0, "CAB-1.resS"}};
    WriteBytes(folder.File("b.ab"), BuildUnityFs(shape, stream));
    AssetFile doc;
    doc.workingFolder = folder.Wide("Temp");
    const ArchiveReader reader = ArchiveReaderOf(doc);
    std::vector<std::uint8_t> out(3);
    EXPECT_EQ(reader("archive:/CAB-1/CAB-1.resS", 0, out), KESTROVA_STREAM_NOT_FOUND);
    ASSERT_TRUE(bundle::LoadDocument(doc, folder.Wide("b.ab")).ok);
    EXPECT_EQ(reader("archive:/CAB-1/CAB-1.resS", 7, out), KESTROVA_STREAM_READ);
    EXPECT_EQ(std::string(out.begin(), out.end()), "789");
    EXPECT_EQ(reader("archive:/CAB-1/CAB-1.resS", 8, out), KESTROVA_STREAM_OUT_OF_RANGE);
    EXPECT_EQ(reader("archive:/CAB-1/CAB-2.resS", 0, out), KESTROVA_STREAM_NOT_FOUND);
    CloseAssetFile(doc);
}

}  // namespace
}  // namespace kestrova
