// Descriptor files, the plug-in table built from a folder, and the Plugin Info texts.

#include <gtest/gtest.h>

#include <map>

#include "common/text.h"
#include "editor/plugins/plugin_info.h"
#include "editor/plugins/plugin_table.h"
#include "editor/shell/working_folder.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugins/plugin_test_support.h"

namespace kestrova {
namespace {

using testing::CollectingSink;
using testing::Descriptor;
using testing::Extension;
using testing::InstallPlugin;
using testing::TempFolder;

PluginDescriptor Read(const std::string& text) {
    MarkupDocument document;
    ParseDocument(text, document);
    PluginDescriptor descriptor;
    ResetPluginDescriptor(descriptor);
    ReadPluginDescriptor(document, descriptor);
    return descriptor;
}

void* NoPanel(void*, const std::uint8_t*, std::int32_t) {
    return nullptr;
}

TEST(PluginDescriptorTest, DefaultsStayWhereTheFileSaysNothing) {
    for (const std::string& text : {std::string(), std::string("<other name=\"x\"/>\n"),
                                    std::string("<plugin name=\"Only\"/>\n")}) {
        PluginDescriptor d = Read(text);
        EXPECT_EQ(d.name, text.find("Only") != std::string::npos ? u"Only" : u"untitled");
        EXPECT_EQ(d.author, u"unknown");
        EXPECT_EQ(d.version, u"not set");
        EXPECT_EQ(d.date, u"not set");
        EXPECT_EQ(d.description, u"not set");
        EXPECT_EQ(d.instructions, u"not set");
        EXPECT_EQ(d.mainLibrary, u"");
        EXPECT_EQ(d.type, 0u);
        EXPECT_EQ(d.typeName, u"");
        EXPECT_EQ(d.extensionCount(), 0u);
    }
}

TEST(PluginDescriptorTest, ReadsEveryFieldInAnyLetterCaseWithFirstElementsOnly) {
    PluginDescriptor d = Read(
        "<?xml version=\"1.0\"?>\n"
        "<PLUGIN Name=\"Viewer 100%s\" AUTHOR=\"Ann\" version=\"2\" date=\"today\" "
        "MainLibrary=\"sub/v.so\">\n"
        "\t<Description>First</Description>\n"
        "\t<description>Second</description>\n"
        "\t<INSTRUCTIONS>Click</INSTRUCTIONS>\n"
        "\t<PluginData NAME=\"Texture2D\" Type=\"1C\">\n"
        "\t\t<Extension extension=\"png\" filter=\"PNG (*.png)\"/>\n"
        "\t\t<other extension=\"no\"/>\n"
        "\t\t<extension filter=\"No extension\"/>\n"
        "\t\t<EXTENSION extension=\"abcdefghijkl\" FILTER=\"Long\"/>\n"
        "\t</PluginData>\n"
        "\t<plugindata name=\"Second\" type=\"2\"/>\n"
        "</PLUGIN>\n"
        "<plugin name=\"Other\"/>\n");
    EXPECT_EQ(d.name, u"Viewer 100%s");
    EXPECT_EQ(d.author, u"Ann");
    EXPECT_EQ(d.version, u"2");
    EXPECT_EQ(d.date, u"today");
    EXPECT_EQ(d.mainLibrary, u"sub/v.so");
    EXPECT_EQ(d.description, u"First");
    EXPECT_EQ(d.instructions, u"Click");
    EXPECT_EQ(d.typeName, u"Texture2D");
    EXPECT_EQ(d.type, 0x1Cu);
    EXPECT_EQ(d.extensions, (std::vector<std::u16string>{u"png", u"", u"abcdefghi"}));
    EXPECT_EQ(d.filters, (std::vector<std::u16string>{u"PNG (*.png)", u"No extension", u"Long"}));
}

TEST(PluginDescriptorTest, TypeIsReadInBaseSixteenAsTheCLibraryReadsIt) {
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"1C", 28},
        {"0x1C", 28},
        {"0X1c", 28},
        {"28", 40},
        {" \t1c", 28},
        {"1Cz9", 28},
        {"zz", 0},
        {"0x", 0},
        {"0xg", 0},
        {"", 0},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"123456789", 0xFFFFFFFF},
        {"-1", 0xFFFFFFFF},
        {"+8E", 0x8E},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Read("<plugin>\n<plugindata type=\"" + text + "\"/>\n</plugin>\n").type, expected)
            << text;
    }
}

TEST(PluginDescriptorTest, ValuesAreCutToTheirFields) {
    const std::string long600(600, 'a');
    const std::string long3000(3000, 'b');
    PluginDescriptor d =
        Read("<plugin name=\"" + long600 + "\" mainlibrary=\"" + long600 + "\">\n<description>" +
             long3000 +
             "</description>\n"
             "<plugindata name=\"" +
             long600 + "\">\n<extension filter=\"" + long600 + "\"/>\n</plugindata>\n</plugin>\n");
    EXPECT_EQ(d.name.size(), 255u);
    EXPECT_EQ(d.mainLibrary.size(), 511u);
    EXPECT_EQ(d.description.size(), 2047u);
    EXPECT_EQ(d.typeName.size(), 255u);
    ASSERT_EQ(d.filters.size(), 1u);
    EXPECT_EQ(d.filters[0].size(), 255u);
}

class PluginTableTest : public ::testing::Test {
protected:
    void Install(const std::string& relative, const std::string& descriptor,
                 const std::string& library, const std::string& libraryName) {
        InstallPlugin(std::filesystem::path(folder.path()) / "Plugins", relative, descriptor,
                      library, libraryName);
    }
    void Load() { LoadPlugins(table, Utf8ToUtf16(folder.File("Plugins")), sink); }

    TempFolder folder;
    PluginTable table;
    CollectingSink sink;
};

TEST_F(PluginTableTest, LoadsEveryDescriptorWithItsLibraryAndWarnsOfMissingEntryPoints) {
    Install("a/complete.plg", Descriptor("Complete", "rec.so", "Texture2D", "1C"), RECORDING_PLUGIN,
            "rec.so");
    Install("a/deeper/partial.plg", Descriptor("Partial", "part.so", "Hex", "0"), PARTIAL_PLUGIN,
            "part.so");
    Install("b/broken.plg", Descriptor("Broken", "missing.so", "Mod", "1C"), "", "");
    Install("b/ignored.PLG", Descriptor("Capitals", "rec.so", "X", "5"), "", "");
    Install("c/empty.plg", "", "", "");
    Load();

    ASSERT_EQ(table.pluginCount(), 4u);
    std::map<std::u16string, const PluginRecord*> byName;
    for (const PluginRecord& record : table.plugins) {
        byName[record.descriptor.name] = &record;
    }
    ASSERT_EQ(byName.size(), 4u);
    EXPECT_FALSE(byName.count(u"Capitals"));

    const PluginRecord& complete = *byName.at(u"Complete");
    EXPECT_TRUE(complete.loaded());
    for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
        EXPECT_TRUE(HasEntryPoint(complete, i));
    }
    EXPECT_EQ(complete.libraryPath, Utf8ToUtf16(folder.File("Plugins/a/rec.so")));

    // A library found in a sub-folder of the descriptor's own folder is loaded from there.
    const PluginRecord& partial = *byName.at(u"Partial");
    EXPECT_TRUE(partial.loaded());
    EXPECT_EQ(partial.libraryPath, Utf8ToUtf16(folder.File("Plugins/a/deeper/part.so")));
    EXPECT_NE(partial.createPluginDialog, nullptr);
    EXPECT_NE(partial.getData, nullptr);
    EXPECT_EQ(partial.assetChanged, nullptr);
    EXPECT_EQ(sink.warnings, (std::vector<std::u16string>{
                                 u"Corvane Engine Error: Plugin AssetChangedProc Missing.",
                                 u"Corvane Engine Error: Plugin ExportDataProc Missing.",
                                 u"Corvane Engine Error: Plugin ImportDataProc Missing."}));

    // A library that does not load, and a descriptor that says nothing, stay in the table.
    EXPECT_FALSE(byName.at(u"Broken")->loaded());
    const PluginRecord& empty = *byName.at(u"untitled");
    EXPECT_FALSE(empty.loaded());
    EXPECT_EQ(empty.libraryPath, Utf8ToUtf16(folder.File("Plugins/c/")));

    EXPECT_EQ(FindPluginByName(table, u"Hex"), &partial);
    EXPECT_EQ(FindPluginByName(table, u"hex"), nullptr);
    EXPECT_EQ(FindPluginByType(table, 7), nullptr);

    UnloadPlugins(table);
    EXPECT_EQ(table.pluginCount(), 0u);
}

TEST_F(PluginTableTest, FirstPluginInScanOrderClaimsATypeAndEachCopyIsItsOwnLibrary) {
    Install("one/first.plg", Descriptor("First", "rec.so", "Texture2D", "1c"), RECORDING_PLUGIN,
            "rec.so");
    Install("two/second.plg", Descriptor("Second", "rec.so", "Texture", "0x1C"), RECORDING_PLUGIN,
            "rec.so");
    Load();
    ASSERT_EQ(table.pluginCount(), 2u);
    const PluginRecord* claimed = FindPluginByType(table, 0x1C);
    EXPECT_EQ(claimed, &table.plugins[0]);
    EXPECT_NE(table.plugins[0].library, table.plugins[1].library);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(PluginTableTest, PlugInsBehindALinkedFolderComeAfterTheFoldersOwn) {
    // An installed editor's user folder: Plugins/installed leads to the shared plug-ins.
    const std::filesystem::path shared = std::filesystem::path(folder.path()) / "shared";
    InstallPlugin(shared, "texture/a.plg", Descriptor("Installed", "rec.so", "Texture2D", "1C"),
                  RECORDING_PLUGIN, "rec.so");
    ASSERT_TRUE(
        PrepareUserFolder(Utf8ToUtf16(folder.File("user")), Utf8ToUtf16(shared.string())).ok);
    // Preparing again keeps the link.
    ASSERT_TRUE(
        PrepareUserFolder(Utf8ToUtf16(folder.File("user")), Utf8ToUtf16(shared.string())).ok);
    InstallPlugin(std::filesystem::path(folder.File("user")) / "Plugins", "zz/mine.plg",
                  Descriptor("Mine", "rec.so", "Texture2D", "1C"), RECORDING_PLUGIN, "rec.so");
    LoadPlugins(table, Utf8ToUtf16(folder.File("user/Plugins")), sink);
    ASSERT_EQ(table.pluginCount(), 2u);
    EXPECT_EQ(table.plugins[0].descriptor.name, u"Mine");
    EXPECT_EQ(table.plugins[1].descriptor.name, u"Installed");
    EXPECT_TRUE(table.plugins[1].loaded());
    EXPECT_EQ(FindPluginByType(table, 0x1C), &table.plugins[0]);
}

TEST_F(PluginTableTest, AMissingFolderGivesAnEmptyTable) {
    Load();
    EXPECT_EQ(table.pluginCount(), 0u);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(PluginInfoTest, SummaryPadsAuthorAndDateToTheirColumns) {
    PluginDescriptor d;
    ResetPluginDescriptor(d);
    EXPECT_EQ(PluginSummaryText(d), u"Author: unknown" + std::u16string(33, u' ') +
                                        u"\tVersion: not set\r\n" + u"Date Created: not set" +
                                        std::u16string(27, u' ') + u"\tAsset Type: |0x00000000");

    d.author = std::u16string(45, u'a');
    d.date = std::u16string(34, u'd');
    d.typeName = u"Sample";
    d.type = 0x8E;
    d.version = u"%s";
    EXPECT_EQ(PluginSummaryText(d), u"Author: " + d.author + u"\tVersion: %s\r\nDate Created: " +
                                        d.date + u"\tAsset Type: Sample|0x0000008E");

    d.author = std::u16string(2047, u'x');
    EXPECT_EQ(PluginSummaryText(d).size(), 2047u);
}

TEST(PluginInfoTest, ListLineSaysWhyAPlugInCannotWork) {
    PluginRecord record;
    ResetPluginDescriptor(record.descriptor);
    record.descriptor.name = u"Viewer";
    record.libraryPath = u"Plugins/v/viewer.so";
    EXPECT_EQ(PluginListText(record), u"Viewer (library not loaded: Plugins/v/viewer.so)");

    int marker = 0;
    record.library = &marker;
    record.createPluginDialog = &NoPanel;
    EXPECT_EQ(PluginListText(record),
              u"Viewer (missing AssetChanged, GetData, ExportData, ImportData)");
    record.library = nullptr;
}

}  // namespace
}  // namespace kestrova
