// The plug-in library loaded as the editor loads it: its descriptor, the five entry points, its
// clean-up at release, and the whole path of a mod over two real asset files through a restart.

#include <cstdlib>

#include "common/markup_reader.h"
#include "common/platform.h"
#include "common/text.h"
#include "editor/document/asset_file.h"
#include "kestrova_plugin.h"
#include "plugins/ravelin/core/mod_file.h"
#include "tests/ravelin/ravelin_gui_support.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

// The library and its five entry points, resolved by name as the editor does.
class RavelinLibrary {
public:
    RavelinLibrary() : handle_(platform::LoadLibrary(Utf8ToUtf16(RAVELIN_LIBRARY))) {
        create = Resolve<CreatePluginDialogProc>(KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
        changed = Resolve<AssetChangedProc>(KESTROVA_ASSET_CHANGED_NAME);
        getData = Resolve<GetDataProc>(KESTROVA_GET_DATA_NAME);
        exportData = Resolve<ExportDataProc>(KESTROVA_EXPORT_DATA_NAME);
        importData = Resolve<ImportDataProc>(KESTROVA_IMPORT_DATA_NAME);
    }
    ~RavelinLibrary() { platform::FreeLibrary(handle_); }
    RavelinLibrary(const RavelinLibrary&) = delete;
    RavelinLibrary& operator=(const RavelinLibrary&) = delete;

    bool loaded() const {
        return handle_ != nullptr && create && changed && getData && exportData && importData;
    }

    // Hands asset `index` of `doc` over as the editor does in the "Ravelin" mode; returns the
    // panel.
    QWidget* HandOver(QWidget* parent, const AssetFile& doc, std::uint32_t index) {
        std::vector<std::uint8_t> body =
            ReadAssetBody(doc, index).value_or(std::vector<std::uint8_t>{});
        auto* panel = static_cast<QWidget*>(
            create(parent, body.data(), static_cast<std::int32_t>(body.size())));
        const AssetEntry& entry = doc.entries.at(index);
        std::int32_t type = static_cast<std::int32_t>(entry.typeId);
        const std::u16string pathId = DecimalText(static_cast<std::int32_t>(entry.pathId));
        importData(doc.documentName.c_str(), &type, pathId.c_str());
        importData(entry.name.c_str(), &type, pathId.c_str());
        if (panel != nullptr) {
            panel->setGeometry(0, 0, parent->width(), parent->height());
            panel->show();
        }
        return panel;
    }

    CreatePluginDialogProc create = nullptr;
    AssetChangedProc changed = nullptr;
    GetDataProc getData = nullptr;
    ExportDataProc exportData = nullptr;
    ImportDataProc importData = nullptr;

private:
    template <typename Proc>
    Proc Resolve(const char* name) {
        return reinterpret_cast<Proc>(platform::FindSymbol(handle_, name));
    }
    platform::LibraryHandle handle_;
};

class RavelinLibraryTest : public GuiTest {
protected:
    RavelinLibraryTest() {
        window.resize(700, 760);
        window.show();
    }
    bool Exists(const std::string& relative) { return std::filesystem::exists(relative); }

    QWidget window;
};

TEST_F(RavelinLibraryTest, DescriptorNamesTheModTypeAndTheLibraryBesideIt) {
    const std::filesystem::path library = RAVELIN_LIBRARY;
    MarkupDocument document;
    std::FILE* file = std::fopen((library.parent_path() / "ravelin.plg").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ParseDocument(file, document);
    std::fclose(file);
    const MarkupNode* plugin = FindRoot(document, u"plugin");
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(FindAttribute(*plugin, u"mainlibrary")->value,
              Utf8ToUtf16(library.filename().string()));
    const MarkupNode* data = FindChild(*plugin, u"plugindata", 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FindAttribute(*data, u"name")->value, u"Mod");
    EXPECT_TRUE(std::filesystem::is_directory(library.parent_path() / "RavelinData/installers"));
    EXPECT_TRUE(std::filesystem::exists(library.parent_path() / "RavelinData/modtemplates.xml"));
}

TEST_F(RavelinLibraryTest, EntryPointsAndTheCleanUpAtRelease) {
    std::filesystem::create_directory("Temp");
    const std::uint8_t body[] = {1, 2, 3};
    const std::int32_t type = 28;
    std::int32_t typeWord = type;
    {
        RavelinLibrary ravelin;
        ASSERT_TRUE(ravelin.loaded());
        EXPECT_EQ(ravelin.changed(), 0);
        std::int32_t length = 0;
        EXPECT_EQ(ravelin.getData(&length), nullptr);
        EXPECT_EQ(ravelin.exportData(&length, u"umod"), nullptr);
        EXPECT_EQ(ravelin.create(nullptr, body, 3), nullptr) << "no parent, no panel";

        QWidget* panel = ravelin.create(&window, body, 3)
                             ? window.findChild<QWidget*>("RavelinModForm")
                             : nullptr;
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(ravelin.importData(u"level0", &typeWord, u"12"), nullptr);
        EXPECT_EQ(ravelin.importData(u"Crosshair", &typeWord, u"12"), nullptr);
        ClickFormButton(panel, 1016);
        EXPECT_EQ(FormListTexts(panel), QStringList{"level0/Crosshair (12)"});
        EXPECT_EQ(ravelin.changed(), 0);
        EXPECT_TRUE(Exists("Temp/mod"));
        std::ofstream("Temp/other") << "the editor's";
    }
    // The form went with the library; the data file too, and Temp stays while it holds more.
    EXPECT_EQ(window.findChild<QWidget*>("RavelinModForm"), nullptr);
    EXPECT_FALSE(Exists("Temp/mod"));
    EXPECT_TRUE(Exists("Temp/other"));
    std::filesystem::remove("Temp/other");
    {
        RavelinLibrary ravelin;
        ASSERT_TRUE(ravelin.loaded());
    }
    EXPECT_FALSE(Exists("Temp"));
}

// Assets of two real files added through the hand-over and saved: each entry holds its asset's
// whole data as the file holds it (name prefix included), padded to a multiple of 4.
TEST_F(RavelinLibraryTest, SavedModHoldsTheWholeDataOfAssetsFromTwoRealFiles) {
    const std::string first = RealFile("ld24_Ludum_Data_resources.assets");
    const std::string second = RealFile("ld24_EvilTestsWin32_sharedassets0.assets");
    if (first.empty() || second.empty()) {
        GTEST_SKIP() << "no real files (KESTROVA_REALDATA)";
    }
    const std::string saved = Path("two.umod");
    AssetFile doc;
    std::vector<Bytes> assetData;  // the assets' whole data, as the files hold them
    auto wholeData = [&](const std::string& path, std::uint32_t index) {
        Bytes bytes = ReadBytes(path);
        const AssetEntry& e = doc.entries.at(index);
        return Bytes(
            bytes.begin() + static_cast<std::ptrdiff_t>(doc.DataBase() + e.offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(doc.DataBase() + e.offset + e.size));
    };
    {
        RavelinLibrary ravelin;
        ASSERT_TRUE(ravelin.loaded());
        ASSERT_TRUE(LoadAssetFile(doc, Wide(first)).ok);
        for (std::uint32_t index : {0u, 2u}) {
            QWidget* panel = ravelin.HandOver(&window, doc, index);
            ClickFormButton(panel, 1016);
            assetData.push_back(wholeData(first, index));
            delete panel;
        }
        CloseAssetFile(doc);
        ASSERT_TRUE(LoadAssetFile(doc, Wide(second)).ok);
        QWidget* panel = ravelin.HandOver(&window, doc, 3);
        ClickFormButton(panel, 1016);
        assetData.push_back(wholeData(second, 3));
        AnswerNextFileDialog(QString::fromStdString(saved));
        ClickFormButton(panel, 1018);
        EXPECT_EQ(FormListTexts(panel).size(), 3);
        delete panel;
        CloseAssetFile(doc);
    }
    EXPECT_FALSE(Exists("Temp")) << "the editor's and Ravelin's working files are gone";

    Bytes file = ReadBytes(saved);
    ravelin::ModRecord mod;
    ravelin::ModLayout layout;
    ASSERT_TRUE(ravelin::ParseMod(file, 0, mod, layout).ok);
    ASSERT_EQ(mod.entries.size(), 3u);
    EXPECT_EQ(mod.entries[0].fileName, u"ld24_EvilTestsWin32_sharedassets0.assets") << "sorted";
    std::vector<Bytes> stored;
    for (const ravelin::ModEntry& e : mod.entries) {
        auto begin = file.begin() + static_cast<std::ptrdiff_t>(layout.payloadStart + e.offset);
        stored.emplace_back(begin, begin + e.length);
    }
    for (Bytes& data : assetData) {
        data.resize((data.size() + 3) / 4 * 4, 0);
    }
    EXPECT_EQ(stored, (std::vector<Bytes>{assetData[2], assetData[0], assetData[1]}));
}

}  // namespace
}  // namespace kestrova::testing
