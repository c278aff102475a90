// The plug-in library loaded as the editor loads it: its descriptor, the five entry points and
// its clean-up at release.

#include "common/markup_reader.h"
#include "common/platform.h"
#include "common/text.h"
#include "kestrova_plugin.h"
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

}  // namespace
}  // namespace kestrova::testing
