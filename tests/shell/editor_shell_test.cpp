#include "editor/shell/editor_shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>

#include "common/text.h"
#include "shell_test_hosts.h"
#include "tests/bundle/bundle_builder.h"
#include "tests/document/asset_file_builder.h"

namespace kestrova {
namespace {

using testing::AssetFileBuilder;
using testing::BuildUnityFs;
using testing::Bytes;
using testing::FsShape;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using Paint = RecordingView::Paint;

// Records what the shell asks of the plug-in host.
class RecordingBridge : public PluginBridge {
public:
    void EndHandOver(EditorShell&, std::uint32_t leaving) override {
        calls.push_back("end " + std::to_string(leaving));
    }
    bool BeginHandOver(EditorShell&, std::uint32_t index, PanelMode mode) override {
        calls.push_back("begin " + std::to_string(index) + " mode " +
                        std::to_string(static_cast<int>(mode)));
        return beginSucceeds;
    }
    void Reset() override { calls.push_back("reset"); }
    std::optional<std::uint32_t> HandedOverAsset() const override { return std::nullopt; }
    std::vector<PluginDataType> DataTypes() const override { return {}; }
    Outcome ExportData(std::u16string_view, std::vector<std::uint8_t>&) override {
        return Outcome::Failure(u"no conversion");
    }
    Outcome ImportData(std::u16string_view, std::vector<std::uint8_t>&) override {
        return Outcome::Failure(u"no conversion");
    }
    std::u16string TypeText(std::uint32_t typeId, std::u16string_view unnamed) const override {
        return typeId == 28 ? u"Texture2D" : std::u16string(unnamed);
    }
    std::optional<std::uint32_t> TypeByName(std::u16string_view typeName) const override {
        if (CompareIgnoringAsciiCase(typeName, u"texture2d") == 0) {
            return 28;
        }
        return std::nullopt;
    }

    std::vector<std::string> calls;
    bool beginSucceeds = true;
};

class EditorShellTest : public ::testing::Test {
protected:
    EditorShellTest() {
        shell.document.workingFolder = Wide("Temp");
        view.shell = &shell;
    }
    ~EditorShellTest() override { shell.Shutdown(); }

    std::u16string Wide(std::string_view name) const { return Utf8ToUtf16(temp.File(name)); }
    std::u16string Folder() const { return Utf8ToUtf16(temp.File("")); }

    // Writes `builder`'s file under `name` and opens it through the scripted dialog.
    void Open(const std::string& name, const AssetFileBuilder& builder) {
        WriteBytes(temp.File(name), builder.Build());
        chooser.Next(Wide(name), 1);
        shell.OpenFile();
    }

    // Five assets: named "beta" (pathId 57), unnamed, "Alpha", "gamma", "alpha" with sizes that
    // make every column sort differently.
    static AssetFileBuilder FiveAssets() {
        AssetFileBuilder b;
        b.Add("beta", 114, 57, Bytes(1020, 0xB1));       // size 1028
        b.Add("", 28, 3, Bytes(100, 0x0F));              // unnamed, size 100
        b.Add("Alpha", 0xFFFFFFFF, 0x80000000, {1, 2});  // size 14
        b.Add("gamma", 1, 7, Bytes(1024 - 12, 0x33));    // size 1024
        b.Add("alpha", 114, 9, {});                      // size 12
        return b;
    }

    std::vector<std::u16string> Column(int column) const {
        std::vector<std::u16string> texts;
        for (std::size_t row = 0; row < shell.rowCount(); ++row) {
            texts.push_back(shell.cellText(row, column));
        }
        return texts;
    }

    TempFolder temp;
    RecordingView view;
    ScriptedChooser chooser;
    EditorShell shell{view, chooser};
};

TEST_F(EditorShellTest, OpenReportsEveryAssetThenListsThemInTableOrder) {
    AssetFileBuilder b;
    b.Add("a", 1, 1, {}).Add("b", 1, 2, {}).Add("c", 1, 3, {});
    Open("three.assets", b);

    const float third = 1.0f / 3.0f;
    const float twoThirds = 2.0f / 3.0f;
    std::vector<Paint> expected = {
        {u"Reading Header", 0.0f},
        {u"Loaded: (0/3) a", 0.0f},
        {u"Loaded: (1/3) b", third},
        {u"Loaded: (2/3) c", twoThirds},
        {u"Ready", 0.0f},
        {u"Building Asset List: (0/3) a", 0.0f},
        {u"Building Asset List: (1/3) b", third},
        {u"Building Asset List: (2/3) c", twoThirds},
        {u"Ready", 0.0f},
    };
    EXPECT_EQ(view.paints, expected);
    EXPECT_EQ(view.titles, std::vector<std::u16string>{u"Kestrova ( three.assets )"});
    EXPECT_EQ(FolderText(shell.preferences.lastAssetFolder), Folder());
    EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"a", u"b", u"c"}));
    EXPECT_EQ(shell.currentAssetIndex, 0u);
    EXPECT_EQ(view.panelsClosed, 1);
    EXPECT_EQ(view.rowsChanged, 1);

    const FileChooserRequest& request = chooser.requests.back();
    EXPECT_FALSE(request.save);
    EXPECT_EQ(request.title, u"Open Asset File");
    EXPECT_EQ(request.initialName, u" ");
    EXPECT_EQ(request.initialFolder, u"");
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, u"Unity Asset File (*.assets)");
    EXPECT_EQ(request.filters[0].pattern, u"*.assets");
    EXPECT_EQ(request.filters[1].description, u"All Files (*.*)");
    EXPECT_EQ(request.filters[1].pattern, u"*.*");

    // The next Open starts in the folder of this one.
    shell.OpenFile();
    EXPECT_EQ(chooser.requests.back().initialFolder, Folder());
}

TEST_F(EditorShellTest, OpenOfAnEmptyFileGoesStraightToReady) {
    Open("empty.assets", AssetFileBuilder());
    std::vector<Paint> expected = {{u"Reading Header", 0.0f}, {u"Ready", 0.0f}, {u"Ready", 0.0f}};
    EXPECT_EQ(view.paints, expected);
    EXPECT_EQ(shell.rowCount(), 0u);
    EXPECT_FALSE(shell.SelectAsset(0));
}

TEST_F(EditorShellTest, CancelledOpenChangesNothing) {
    shell.OpenFile();
    EXPECT_TRUE(view.paints.empty());
    EXPECT_TRUE(view.titles.empty());
    EXPECT_EQ(view.rowsChanged, 0);
}

TEST_F(EditorShellTest, RefusedFileKeepsThePreviousDocumentOpenAndListed) {
    // With nothing open before, the list stays empty and the reason is shown.
    WriteBytes(temp.File("short.assets"), Bytes(20, 0));
    chooser.Next(Wide("short.assets"), 1);
    shell.OpenFile();
    EXPECT_EQ(shell.rowCount(), 0u);
    EXPECT_TRUE(view.titles.empty());
    EXPECT_NE(shell.statusText, u"Ready");
    EXPECT_FALSE(shell.statusText.empty());

    Open("good.assets", FiveAssets());
    ASSERT_EQ(shell.rowCount(), 5u);
    ASSERT_TRUE(shell.SelectAsset(2));
    std::filesystem::create_directory(temp.File("other"));
    // A table that claims more assets than the file holds.
    Open("other/damaged.assets", FiveAssets().AssetCount(4000));
    EXPECT_EQ(shell.rowCount(), 5u);
    EXPECT_EQ(shell.document.documentName, u"good.assets");
    EXPECT_EQ(view.titles.back(), u"Kestrova ( good.assets )");
    EXPECT_EQ(FolderText(shell.preferences.lastAssetFolder), Folder());
    EXPECT_EQ(shell.currentAssetIndex, 2u);
    EXPECT_NE(shell.statusText, u"Ready");
    EXPECT_EQ(view.paints.back().text, shell.statusText);
    // The previous document still works on its own working copy.
    chooser.Next(Wide("alpha"), 2);
    shell.ExportAsset();
    EXPECT_EQ(ReadBytes(temp.File("alpha")), (Bytes{1, 2}));
}

TEST_F(EditorShellTest, CellsShowNameTypeSignedIndexAndKilobytes) {
    RecordingBridge bridge;
    Open("five.assets", FiveAssets());
    EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"beta", u"unnamed asset", u"Alpha", u"gamma",
                                                      u"alpha"}));
    EXPECT_EQ(Column(1), (std::vector<std::u16string>{u"0x00000072", u"0x0000001C", u"0xFFFFFFFF",
                                                      u"0x00000001", u"0x00000072"}));
    EXPECT_EQ(Column(2), (std::vector<std::u16string>{u"57", u"3", u"-2147483648", u"7", u"9"}));
    // 1028 bytes, 100, 14, 1024 and 12: whole kilobytes plus one.
    EXPECT_EQ(Column(3), (std::vector<std::u16string>{u"2", u"1", u"1", u"2", u"1"}));
    shell.SetPluginBridge(&bridge);
    EXPECT_EQ(shell.cellText(1, 1), u"Texture2D");
    EXPECT_EQ(shell.cellText(0, 1), u"0x00000072");
    EXPECT_EQ(shell.cellText(0, 4), u"");
    EXPECT_EQ(shell.cellText(5, 0), u"");
}

TEST_F(EditorShellTest, ColumnClicksSortAscendingThenDescendingAndKeepTiesInOrder) {
    Open("five.assets", FiveAssets());
    auto names = [this] { return Column(0); };
    using Texts = std::vector<std::u16string>;

    shell.SortByColumn(3);  // Size, by exact bytes: 12, 14, 100, 1024, 1028
    EXPECT_EQ(shell.sortState, 3);
    EXPECT_EQ(names(), (Texts{u"alpha", u"Alpha", u"unnamed asset", u"gamma", u"beta"}));
    shell.SortByColumn(3);
    EXPECT_EQ(shell.sortState, -1);
    EXPECT_EQ(names(), (Texts{u"beta", u"gamma", u"unnamed asset", u"Alpha", u"alpha"}));
    shell.SortByColumn(3);
    EXPECT_EQ(shell.sortState, 3);
    EXPECT_EQ(names(), (Texts{u"alpha", u"Alpha", u"unnamed asset", u"gamma", u"beta"}));

    // Names ignore the case of A-Z; "alpha" and "Alpha" are equal and keep their current order.
    shell.SortByColumn(0);
    EXPECT_EQ(shell.sortState, 0);
    EXPECT_EQ(names(), (Texts{u"alpha", u"Alpha", u"beta", u"gamma", u"unnamed asset"}));
    shell.SortByColumn(0);
    EXPECT_EQ(names(), (Texts{u"unnamed asset", u"gamma", u"beta", u"alpha", u"Alpha"}));

    // Type is numeric and unsigned (0xFFFFFFFF last); Index is unsigned although shown signed.
    shell.SortByColumn(1);
    EXPECT_EQ(Column(1),
              (Texts{u"0x00000001", u"0x0000001C", u"0x00000072", u"0x00000072", u"0xFFFFFFFF"}));
    shell.SortByColumn(2);
    EXPECT_EQ(Column(2), (Texts{u"3", u"7", u"9", u"57", u"-2147483648"}));
    shell.SortByColumn(7);  // no such column
    EXPECT_EQ(shell.sortState, 2);

    // Selection goes through the displayed order.
    ASSERT_TRUE(shell.SelectAsset(4));
    EXPECT_EQ(shell.currentAssetIndex, 2u);
    EXPECT_EQ(shell.statusText, u"Asset Selected: Alpha");

    // A rebuild lists the table order again, whatever the sort.
    shell.AddAsset(u"", u"", u"");
    EXPECT_EQ(names(),
              (Texts{u"beta", u"unnamed asset", u"Alpha", u"gamma", u"alpha", u"unnamed asset"}));
    EXPECT_EQ(shell.sortState, 2);
}

TEST_F(EditorShellTest, SortKeepsTheSelectedRowOnItsAssetSoModeButtonsReselectIt) {
    Open("five.assets", FiveAssets());
    ASSERT_TRUE(shell.SelectAsset(0));  // "beta", asset 0
    shell.SortByColumn(0);              // beta moves to row 2
    EXPECT_EQ(shell.selectedRow, 2);
    EXPECT_EQ(shell.rowAssetIndex(2), 0u);
    shell.SetPanelMode(PanelMode::Hex);
    EXPECT_EQ(shell.currentAssetIndex, 0u);
    EXPECT_EQ(shell.statusText, u"Asset Selected: beta");
}

// Each sort must equal a stable sort of the previous order by the key's plain comparison.
void ExpectSortsMatchReference(EditorShell& shell) {
    const std::vector<AssetEntry>& entries = shell.document.entries;
    std::vector<std::uint32_t> expected(entries.size());
    std::iota(expected.begin(), expected.end(), 0u);
    for (int column : {0, 0, 1, 3, 0, 2, 2, 0, 3, 1, 1, 0}) {
        const bool descending = shell.sortState == column;
        auto key = [&](std::uint32_t a, std::uint32_t b) {
            switch (column) {
                case 0:
                    return CompareIgnoringAsciiCase(entries[a].name, entries[b].name) < 0;
                case 1:
                    return entries[a].typeId < entries[b].typeId;
                case 2:
                    return entries[a].pathId < entries[b].pathId;
                default:
                    return entries[a].size < entries[b].size;
            }
        };
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            return descending ? key(b, a) : key(a, b);
        });
        shell.SortByColumn(column);
        std::vector<std::uint32_t> rows;
        for (std::size_t row = 0; row < shell.rowCount(); ++row) {
            rows.push_back(shell.rowAssetIndex(row));
        }
        ASSERT_EQ(rows, expected) << "column " << column << (descending ? " descending" : "");
    }
}

// Names that share long beginnings (among some of them, or all of them) and differ in case only.
TEST_F(EditorShellTest, SortsMatchAStableSortOfThePreviousOrder) {
    std::mt19937 random(7);
    auto build = [&random](const std::vector<std::string>& stems) {
        AssetFileBuilder b;
        for (std::uint32_t i = 0; i < 300; ++i) {
            std::string name = "s" + stems[random() % stems.size()];
            for (std::uint32_t k = random() % 7; k > 0; --k) {
                name += "aAbB_"[random() % 5];
            }
            b.Add(name, random() % 4, random() % 6, Bytes(random() % 3 * 600, 0));
        }
        return b;
    };
    Open("mixed.assets",
         build({"", "Sprite_Background_Layer_", "sprite_background_layer_", "SPRITE"}));
    ExpectSortsMatchReference(shell);
    Open("shared.assets", build({"hared_Beginning_Of_All_", "HARED_beginning_of_all_"}));
    ExpectSortsMatchReference(shell);
}

TEST_F(EditorShellTest, CompareAssetRowsNeverReturnsZero) {
    Open("five.assets", FiveAssets());
    const AssetFile& doc = shell.document;
    EXPECT_EQ(CompareAssetRows(doc, 2, 4, 0), -1);  // equal names
    EXPECT_EQ(CompareAssetRows(doc, 4, 2, 0), -1);
    EXPECT_EQ(CompareAssetRows(doc, 0, 2, 0), 1);  // beta after Alpha
    EXPECT_EQ(CompareAssetRows(doc, 0, 2, 1), -1);
    EXPECT_EQ(CompareAssetRows(doc, 2, 0, 1), 1);
    EXPECT_EQ(CompareAssetRows(doc, 2, 0, 2), 1);   // type 0xFFFFFFFF after 114
    EXPECT_EQ(CompareAssetRows(doc, 0, 4, 2), -1);  // equal types
    EXPECT_EQ(CompareAssetRows(doc, 0, 4, 3), -1);
    EXPECT_EQ(CompareAssetRows(doc, 2, 0, 4), 1);  // pathId 0x80000000 after 57
    EXPECT_EQ(CompareAssetRows(doc, 2, 0, 5), -1);
    EXPECT_EQ(CompareAssetRows(doc, 0, 3, 6), 1);  // 1028 after 1024 bytes
    EXPECT_EQ(CompareAssetRows(doc, 3, 0, 7), 1);
    EXPECT_EQ(CompareAssetRows(doc, 0, 3, 8), -1);
    EXPECT_EQ(CompareAssetRows(doc, 3, 0, -1), -1);
}

TEST_F(EditorShellTest, SelectionMovesTheHandOverAndIgnoresRowsWithoutAnAsset) {
    RecordingBridge bridge;
    shell.SetPluginBridge(&bridge);
    EXPECT_FALSE(shell.SelectAsset(0));  // no document
    EXPECT_EQ(shell.selectedRow, 0);
    Open("five.assets", FiveAssets());
    EXPECT_EQ(bridge.calls, std::vector<std::string>{"reset"});
    bridge.calls.clear();
    const std::size_t paints = view.paints.size();

    EXPECT_FALSE(shell.SelectAsset(-1));
    EXPECT_EQ(shell.selectedRow, -1);
    EXPECT_FALSE(shell.SelectAsset(5));
    EXPECT_EQ(shell.selectedRow, 5);
    EXPECT_EQ(view.paints.size(), paints);
    EXPECT_TRUE(bridge.calls.empty());

    const int closed = view.panelsClosed;
    EXPECT_TRUE(shell.SelectAsset(3));
    EXPECT_EQ(shell.currentAssetIndex, 3u);
    EXPECT_EQ(view.paints.back(), (Paint{u"Asset Selected: gamma", 0.0f}));
    EXPECT_EQ(view.panelsClosed, closed + 1);
    // The mode buttons re-select the same row: no hand-over ends, a new one begins.
    shell.SetPanelMode(PanelMode::Mod);
    EXPECT_EQ(shell.preferences.panelMode, 2);
    EXPECT_EQ(bridge.calls,
              (std::vector<std::string>{"end 0", "begin 3 mode 0", "begin 3 mode 2"}));

    // A hand-over that cannot start leaves the status line as it was.
    bridge.beginSucceeds = false;
    EXPECT_FALSE(shell.SelectAsset(1));
    EXPECT_EQ(shell.currentAssetIndex, 1u);
    EXPECT_EQ(shell.statusText, u"Asset Selected: gamma");
}

TEST_F(EditorShellTest, ExportWritesTheBodyAndAppendsDataOnlyUnderTheRawFilter) {
    Open("five.assets", FiveAssets());
    ASSERT_TRUE(shell.SelectAsset(0));
    chooser.Next(Wide("out"), 1);
    shell.ExportAsset();
    const FileChooserRequest& request = chooser.requests.back();
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, u"Export Asset File");
    EXPECT_EQ(request.initialName, u"beta");
    EXPECT_EQ(request.initialFolder, u"");
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, u"Unity Asset Raw Data (*.data)");
    EXPECT_EQ(request.filters[0].pattern, u"*.data");
    EXPECT_EQ(request.filters[1].description, u"All Files (*.*)");
    EXPECT_EQ(ReadBytes(temp.File("out.data")), Bytes(1020, 0xB1));
    EXPECT_FALSE(std::filesystem::exists(temp.File("out")));
    EXPECT_EQ(FolderText(shell.preferences.lastDataFolder), Folder());
    EXPECT_EQ(FolderText(shell.preferences.lastAssetFolder), Folder());

    // An unnamed asset exports its whole data; the all-files filter keeps the name as typed.
    ASSERT_TRUE(shell.SelectAsset(1));
    chooser.Next(Wide("raw"), 2);
    shell.ExportAsset();
    EXPECT_EQ(chooser.requests.back().filterIndex, 1u);
    EXPECT_EQ(ReadBytes(temp.File("raw")), Bytes(100, 0x0F));
    // The filter chosen last is preselected in the next dialog of any kind.
    chooser.Next(Wide("named.bin"), 1);
    shell.ExportAsset();
    EXPECT_EQ(chooser.requests.back().filterIndex, 2u);
    EXPECT_TRUE(std::filesystem::exists(temp.File("named.bin")));
    shell.SaveFileAs();  // cancelled
    EXPECT_EQ(chooser.requests.back().filterIndex, 1u);

    // A target that cannot be written is reported.
    chooser.Next(Wide("missing/out"), 1);
    shell.ExportAsset();
    EXPECT_FALSE(shell.statusText.empty());
    EXPECT_NE(shell.statusText, u"Asset Selected: unnamed asset");

    // The working copy is never an export's target: the document would be lost.
    const Bytes workingCopy = ReadBytes(temp.File("Temp/temp"));
    chooser.Next(Wide("Temp/../Temp/temp"), 2);
    shell.ExportAsset();
    EXPECT_EQ(ReadBytes(temp.File("Temp/temp")), workingCopy);
    EXPECT_NE(shell.statusText.find(u"working copy"), std::u16string::npos);
}

TEST_F(EditorShellTest, ImportReplacesTheBodyAndTheListShowsTheNewSize) {
    Open("five.assets", FiveAssets());
    const Bytes original = ReadBytes(temp.File("five.assets"));
    ASSERT_TRUE(shell.SelectAsset(3));  // gamma, 12 + 1012 bytes
    auto import = [this](const std::string& name, const Bytes& bytes) {
        WriteBytes(temp.File(name), bytes);
        chooser.Next(Wide(name), 1);
        shell.ImportAsset();
    };

    const int changes = view.rowsChanged;
    import("same.data", Bytes(1012, 0x44));
    EXPECT_EQ(shell.document.entries[3].size, 1024u);
    EXPECT_EQ(view.rowsChanged, changes + 1);
    const FileChooserRequest& request = chooser.requests.back();
    EXPECT_FALSE(request.save);
    EXPECT_EQ(request.title, u"Import Asset File");
    EXPECT_EQ(request.initialName, u" ");
    EXPECT_EQ(request.filters.size(), 2u);

    const std::uint32_t alphaOffset = shell.document.entries[4].offset;
    import("longer.data", Bytes(1100, 0x45));
    EXPECT_EQ(shell.document.entries[3].size, 1112u);
    EXPECT_EQ(shell.document.entries[4].offset, alphaOffset + 88);
    EXPECT_EQ(shell.cellText(3, 3), u"2");
    import("shorter.data", Bytes(4, 0x46));
    EXPECT_EQ(shell.document.entries[3].size, 16u);
    EXPECT_EQ(shell.cellText(3, 3), u"1");
    EXPECT_EQ(shell.document.entries[4].offset, alphaOffset - 1008);
    EXPECT_EQ(FolderText(shell.preferences.lastDataFolder), Folder());

    // The new body comes back out, after the unchanged name prefix.
    chooser.Next(Wide("back.data"), 1);
    shell.ExportAsset();
    EXPECT_EQ(ReadBytes(temp.File("back.data")), Bytes(4, 0x46));
    EXPECT_EQ(shell.cellText(3, 0), u"gamma");

    // A file that cannot be read imports nothing and says so.
    const int before = view.rowsChanged;
    chooser.Next(Wide("absent.data"), 1);
    shell.ImportAsset();
    EXPECT_EQ(shell.document.entries[3].size, 16u);
    EXPECT_EQ(view.rowsChanged, before);
    EXPECT_NE(shell.statusText.find(u"absent.data"), std::u16string::npos);

    // The file that was opened is never written.
    EXPECT_EQ(ReadBytes(temp.File("five.assets")), original);
}

TEST_F(EditorShellTest, AddReadsTheTypeAsANumberOrAPlugInTypeName) {
    RecordingBridge bridge;
    shell.SetPluginBridge(&bridge);
    Open("five.assets", FiveAssets());
    for (const char16_t* type : {u"0x72", u"114", u"0162"}) {
        shell.AddAsset(u"added", u"", type);
        EXPECT_EQ(shell.document.entries.back().typeId, 114u) << Utf16ToUtf8(type);
    }
    shell.AddAsset(u"tex", u"100", u"TEXTURE2D");
    EXPECT_EQ(shell.document.entries.back().typeId, 28u);
    EXPECT_EQ(shell.cellText(shell.rowCount() - 1, 1), u"Texture2D");
    shell.AddAsset(u"none", u"", u"Unknown");
    EXPECT_EQ(shell.document.entries.back().typeId, 0u);

    // Index offset: empty gives one past the largest index; the offset is added to it.
    const std::vector<AssetEntry>& entries = shell.document.entries;
    EXPECT_EQ(entries[5].pathId, 0x80000001u);
    EXPECT_EQ(entries[8].pathId, 0x80000003u + 100 + 1);

    shell.AddAsset(u"", u" 5", u"1");
    EXPECT_EQ(entries.back().name, u"unnamed asset");
    EXPECT_EQ(entries.back().size, 0u);
    EXPECT_EQ(shell.cellText(shell.rowCount() - 1, 0), u"unnamed asset");
    EXPECT_EQ(shell.rowCount(), 11u);
    EXPECT_EQ(view.paints.back(), (Paint{u"Ready", 0.0f}));
    EXPECT_EQ(shell.currentAssetIndex, 0u);

    // Long names are cut to the dialog's 255 characters.
    shell.AddAsset(std::u16string(300, u'n'), u"", u"1");
    EXPECT_EQ(entries.back().name.size(), 255u);
}

TEST_F(EditorShellTest, RemoveTakesTheCurrentAssetAndRebuildsTheList) {
    Open("five.assets", FiveAssets());
    shell.SortByColumn(0);
    ASSERT_TRUE(shell.SelectAsset(2));  // "beta" in name order
    ASSERT_EQ(shell.currentAssetIndex, 0u);
    shell.RemoveAsset();
    EXPECT_EQ(Column(0),
              (std::vector<std::u16string>{u"unnamed asset", u"Alpha", u"gamma", u"alpha"}));
    EXPECT_EQ(shell.currentAssetIndex, 0u);
    for (int i = 0; i < 4; ++i) {
        shell.RemoveAsset();
    }
    EXPECT_EQ(shell.rowCount(), 0u);
    const std::size_t paints = view.paints.size();
    shell.RemoveAsset();  // nothing left: nothing happens
    EXPECT_EQ(view.paints.size(), paints);
    chooser.Next(Wide("x"), 1);
    shell.ExportAsset();
    EXPECT_EQ(chooser.script.size(), 1u);  // no dialog was shown
}

TEST_F(EditorShellTest, FailedEditsAreReportedAfterTheRebuild) {
    Open("five.assets", FiveAssets());
    std::filesystem::remove(temp.File("Temp/temp"));
    shell.AddAsset(u"lost", u"", u"1");
    EXPECT_NE(shell.statusText, u"Ready");
    EXPECT_EQ(shell.rowCount(), 5u);
    shell.RemoveAsset();
    EXPECT_NE(shell.statusText, u"Ready");
    EXPECT_EQ(shell.rowCount(), 5u);
}

TEST_F(EditorShellTest, SaveAsRenamesTheDocumentOnlyWhenTheCopyWasWritten) {
    shell.SaveFileAs();  // nothing open: no dialog
    EXPECT_TRUE(chooser.requests.empty());
    Open("five.assets", FiveAssets());
    const Bytes original = ReadBytes(temp.File("five.assets"));
    shell.AddAsset(u"new", u"", u"1");
    ASSERT_TRUE(shell.SelectAsset(1));
    shell.RemoveAsset();

    std::filesystem::create_directory(temp.File("mods"));
    chooser.Next(Wide("mods/100% out"), 1);
    shell.SaveFileAs();
    const FileChooserRequest& request = chooser.requests.back();
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, u"Save Asset File");
    EXPECT_EQ(request.initialName, u"five.assets");
    EXPECT_EQ(request.initialFolder, Folder());
    EXPECT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(ReadBytes(temp.File("mods/100% out.assets")), ReadBytes(temp.File("Temp/temp")));
    EXPECT_EQ(shell.document.documentName, u"100% out.assets");
    EXPECT_EQ(view.titles.back(), u"Kestrova ( 100% out.assets )");
    EXPECT_EQ(FolderText(shell.preferences.lastAssetFolder), Utf8ToUtf16(temp.File("mods/")));
    EXPECT_EQ(ReadBytes(temp.File("five.assets")), original);

    // The all-files filter keeps a name without an extension as typed.
    chooser.Next(Wide("mods/plain"), 2);
    shell.SaveFileAs();
    EXPECT_EQ(chooser.requests.back().initialName, u"100% out.assets");
    EXPECT_TRUE(std::filesystem::exists(temp.File("mods/plain")));
    EXPECT_EQ(shell.document.documentName, u"plain");

    // A folder that cannot take the file: reported, and the title keeps the last real name.
    const std::size_t titles = view.titles.size();
    chooser.Next(Wide("missing/out.assets"), 1);
    shell.SaveFileAs();
    EXPECT_EQ(view.titles.size(), titles);
    EXPECT_EQ(shell.document.documentName, u"plain");
    EXPECT_FALSE(shell.statusText.empty());
    EXPECT_NE(shell.statusText, u"Ready");
}

// A real file of a later form: class names and path ids in the list, Add by a class name the
// file holds (and refused for another), Remove and Save As.
TEST_F(EditorShellTest, LaterFormFileListsClassesAndTakesAddRemoveAndSaveAs) {
    const char* realdata = std::getenv("KESTROVA_REALDATA");
    const std::string path =
        std::string(realdata != nullptr ? realdata : "") + "/modern/pong_u2021318/resources.assets";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "KESTROVA_REALDATA/modern is not there";
    }
    chooser.Next(Utf8ToUtf16(path), 2);
    shell.OpenFile();
    ASSERT_EQ(shell.rowCount(), 10u);
    EXPECT_EQ(shell.cellText(3, 0), u"EmojiOne");
    EXPECT_EQ(shell.cellText(3, 1), u"Texture2D");
    EXPECT_EQ(shell.cellText(3, 2), u"4");
    EXPECT_EQ(shell.cellText(7, 1), u"MonoBehaviour");

    shell.AddAsset(u"Fresh", u"", u"material");
    ASSERT_EQ(shell.rowCount(), 11u);
    EXPECT_EQ(shell.cellText(10, 0), u"Fresh");
    EXPECT_EQ(shell.cellText(10, 1), u"Material");
    EXPECT_EQ(shell.cellText(10, 2), u"11");
    shell.AddAsset(u"Shape", u"", u"Mesh");
    EXPECT_EQ(shell.rowCount(), 11u);
    EXPECT_NE(shell.statusText.find(u"cannot invent"), std::u16string::npos);

    ASSERT_TRUE(shell.SelectAsset(0));
    shell.RemoveAsset();
    EXPECT_EQ(shell.rowCount(), 10u);
    chooser.Next(Wide("saved.assets"), 2);
    shell.SaveFileAs();
    AssetFile saved;
    saved.workingFolder = Wide("Again");
    ASSERT_TRUE(LoadAssetFile(saved, Wide("saved.assets")).ok);
    EXPECT_EQ(saved.entries.size(), 10u);
    EXPECT_EQ(saved.entries.back().name, u"Fresh");
    CloseAssetFile(saved);
}

TEST_F(EditorShellTest, ShutdownRemovesTheWorkingCopyAndItsEmptyFolder) {
    Open("five.assets", FiveAssets());
    ASSERT_TRUE(std::filesystem::exists(temp.File("Temp/temp")));
    shell.Shutdown();
    EXPECT_FALSE(std::filesystem::exists(temp.File("Temp")));
    EXPECT_TRUE(std::filesystem::exists(temp.File("five.assets")));
}

// A compressed bundle of two serialized members: the window is asked which to open (no answer
// keeps the open document), the title names bundle and member, and Save As asks the compression
// (no answer writes nothing) and writes a bundle that reopens with the edit.
TEST_F(EditorShellTest, BundleMembersAreChosenNamedInTheTitleAndSavedAsABundle) {
    Open("five.assets", FiveAssets());
    const Bytes member = FiveAssets().Build();
    Bytes stream = member;
    stream.insert(stream.end(), member.begin(), member.end());
    FsShape shape;
    shape.blockCompressions = {1};
    shape.nodes = {{0, member.size(), 4, "level0"}, {member.size(), member.size(), 4, "level1"}};
    WriteBytes(temp.File("data.unity3d"), BuildUnityFs(shape, stream));
    for (std::optional<std::size_t> choice : {std::optional<std::size_t>{}, {1}}) {
        view.memberChoice = choice;
        chooser.Next(Wide("data.unity3d"), 2);
        shell.OpenFile();
    }
    ASSERT_EQ(view.memberLists.size(), 2u);
    EXPECT_EQ(view.memberLists[0].size(), 2u);
    EXPECT_EQ(view.titles.back(), u"Kestrova ( data.unity3d : level1 )");
    shell.AddAsset(u"new", u"", u"1");
    for (auto compression :
         {std::optional<bundle::ChosenCompression>{}, {bundle::ChosenCompression::Lz4}}) {
        view.compression = compression;
        chooser.Next(Wide("saved"), 1);
        shell.SaveFileAs();
        EXPECT_EQ(std::filesystem::exists(temp.File("saved")), compression.has_value());
    }
    EXPECT_EQ(view.titles.back(), u"Kestrova ( saved : level1 )");
    chooser.Next(Wide("saved"), 2);
    shell.OpenFile();
    EXPECT_EQ(shell.rowCount(), 6u);
    EXPECT_EQ(shell.document.compressed->nodes[0].size, member.size());
}

}  // namespace
}  // namespace kestrova
