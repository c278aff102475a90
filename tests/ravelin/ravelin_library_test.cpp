// The plug-in library loaded as the editor loads it: its descriptor, the five entry points and
// its clean-up at release.

#include "common/markup_reader.h"
#include "common/text.h"
#include "tests/plugins/plugin_library.h"
#include "tests/ravelin/ravelin_gui_support.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

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
        PluginLibrary ravelin{RAVELIN_LIBRARY};
        ASSERT_TRUE(ravelin.complete());
        EXPECT_EQ(ravelin.assetChanged(), 0);
        std::int32_t length = 0;
        EXPECT_EQ(ravelin.getData(&length), nullptr);
        EXPECT_EQ(ravelin.exportData(&length, u"umod"), nullptr);
        EXPECT_EQ(ravelin.Open(nullptr, body), nullptr) << "no parent, no panel";

        QWidget* panel =
            ravelin.Open(&window, body) ? window.findChild<QWidget*>("RavelinModForm") : nullptr;
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(ravelin.importData(u"level0", &typeWord, u"12"), nullptr);
        EXPECT_EQ(ravelin.importData(u"Crosshair", &typeWord, u"12"), nullptr);
        ClickFormButton(panel, 1016);
        EXPECT_EQ(FormListTexts(panel), QStringList{"level0/Crosshair (12)"});
        EXPECT_EQ(ravelin.assetChanged(), 0);
        EXPECT_TRUE(Exists("Temp/mod"));
        std::ofstream("Temp/other") << "the editor's";
    }
    // The form went with the library; the data file too, and Temp stays while it holds more.
    EXPECT_EQ(window.findChild<QWidget*>("RavelinModForm"), nullptr);
    EXPECT_FALSE(Exists("Temp/mod"));
    EXPECT_TRUE(Exists("Temp/other"));
    std::filesystem::remove("Temp/other");
    {
        PluginLibrary ravelin{RAVELIN_LIBRARY};
        ASSERT_TRUE(ravelin.complete());
    }
    EXPECT_FALSE(Exists("Temp"));
}

}  // namespace
}  // namespace kestrova::testing
