// The built hex.so through its five entry points, as the editor and kestrova-cli call them.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include <QPointer>
#include <QTest>

#include "kestrova_plugin.h"

namespace kestrova::testing {
namespace {

// hex.so from the run folder, loaded with local symbol binding as the editor loads it, and its
// entry points resolved by name. It stays loaded to the end of the program.
struct HexPluginLibrary {
    void* handle = dlopen(HEX_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    CreatePluginDialogProc create =
        Resolve<CreatePluginDialogProc>(KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
    AssetChangedProc changed = Resolve<AssetChangedProc>(KESTROVA_ASSET_CHANGED_NAME);
    GetDataProc getData = Resolve<GetDataProc>(KESTROVA_GET_DATA_NAME);
    ExportDataProc exportData = Resolve<ExportDataProc>(KESTROVA_EXPORT_DATA_NAME);
    ImportDataProc importData = Resolve<ImportDataProc>(KESTROVA_IMPORT_DATA_NAME);

    template <typename Proc>
    Proc Resolve(const char* name) const {
        return handle == nullptr ? nullptr : reinterpret_cast<Proc>(dlsym(handle, name));
    }
    bool loaded() const { return create && changed && getData && exportData && importData; }
};

HexPluginLibrary& HexPlugin() {
    static HexPluginLibrary library;
    return library;
}

// The bytes of a block that the plug-in returned, which is then released as the editor releases
// it. `isNull` tells a null block from an empty one.
std::vector<std::uint8_t> TakeBlock(std::uint8_t* block, std::int32_t length,
                                    bool* isNull = nullptr) {
    if (isNull != nullptr) {
        *isNull = block == nullptr;
    }
    std::vector<std::uint8_t> bytes(block, block == nullptr ? block : block + std::max(length, 0));
    ::operator delete(block);
    return bytes;
}

std::vector<std::uint8_t> Export(const char16_t* extension, bool* isNull = nullptr) {
    std::int32_t length = 0;
    std::uint8_t* block = HexPlugin().exportData(&length, extension);
    return TakeBlock(block, length, isNull);
}

TEST(HexPlugin, ConvertsWithoutAWindow) {
    HexPluginLibrary& plugin = HexPlugin();
    ASSERT_TRUE(plugin.loaded());
    std::vector<std::uint8_t> asset = {0x00, 0xFF, 0x41, 0x0A, 0x80};
    EXPECT_EQ(plugin.create(nullptr, asset.data(), 5), nullptr);
    const std::vector<std::uint8_t> handed = asset;
    asset.assign(5, 0x77);  // the editor's buffer is only valid during the call
    EXPECT_EQ(plugin.changed(), 0);
    EXPECT_EQ(Export(u"bin"), handed);
    EXPECT_EQ(Export(u"BiN"), handed);
    for (const char16_t* other :
         {u"txt", u"bi", u"binx", u"", static_cast<const char16_t*>(nullptr)}) {
        bool isNull = false;
        EXPECT_TRUE(Export(other, &isNull).empty());
        EXPECT_TRUE(isNull);
    }

    // Importing raw bytes gives a copy of them, whatever the asset holds.
    const std::uint8_t file[] = {1, 2, 3};
    std::int32_t length = 3;
    std::uint8_t* block = plugin.importData(file, &length, u"bin");
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block, file);
    EXPECT_EQ(TakeBlock(block, length), std::vector<std::uint8_t>(file, file + 3));
    length = 0;
    bool isNull = true;
    block = plugin.importData(file, &length, u"bin");
    EXPECT_TRUE(TakeBlock(block, length, &isNull).empty());
    EXPECT_FALSE(isNull) << "an empty file imports as empty data, not as a refusal";

    // The calls of the "Mod" mode (a name, the type id, the path id as text) and broken
    // arguments are refused without touching the input.
    std::int32_t typeId = 28;
    EXPECT_EQ(plugin.importData(u"sample.assets", &typeId, u"12"), nullptr);
    EXPECT_EQ(typeId, 28);
    for (std::int32_t bad : {-1, 4}) {
        length = bad;
        EXPECT_EQ(plugin.importData(bad < 0 ? file : nullptr, &length, u"bin"), nullptr);
    }
    EXPECT_EQ(plugin.importData(file, nullptr, u"bin"), nullptr);
    EXPECT_EQ(plugin.exportData(nullptr, u"bin"), nullptr);
    EXPECT_EQ(plugin.getData(nullptr), nullptr);

    // A negative length, or no data with a length, is taken as an empty asset.
    EXPECT_EQ(plugin.create(nullptr, asset.data(), -5), nullptr);
    EXPECT_TRUE(Export(u"bin", &isNull).empty());
    EXPECT_FALSE(isNull);
    EXPECT_EQ(plugin.create(nullptr, nullptr, 5), nullptr);
    EXPECT_TRUE(Export(u"bin").empty());
    EXPECT_EQ(plugin.changed(), 0);
}

TEST(HexPlugin, PanelEditsReachGetDataAfterTheEditorDestroysThePanel) {
    HexPluginLibrary& plugin = HexPlugin();
    ASSERT_TRUE(plugin.loaded());
    QWidget window;
    window.resize(900, 500);
    window.show();
    std::vector<std::uint8_t> asset(40, 0x11);
    auto* panel = static_cast<QWidget*>(plugin.create(&window, asset.data(), 40));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->parentWidget(), &window);
    panel->setGeometry(0, 0, 900, 500);
    panel->show();
    QWidget* view = panel->findChild<QWidget*>(QStringLiteral("hexView"));
    ASSERT_NE(view, nullptr);
    QTest::keyClicks(view, "c3");
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClicks(view, "Z");
    EXPECT_EQ(plugin.changed(), 1);

    // The editor asks only after it has destroyed the panel.
    delete panel;
    EXPECT_EQ(plugin.changed(), 1);
    std::int32_t length = -7;
    std::vector<std::uint8_t> expected(40, 0x11);
    expected[0] = 0xC3;
    expected[1] = 'Z';
    std::uint8_t* data = plugin.getData(&length);
    EXPECT_EQ(TakeBlock(data, length), expected);
    EXPECT_EQ(length, 40);
    std::vector<std::uint8_t> exported = Export(u"bin");
    EXPECT_EQ(exported, expected);

    // A new asset replaces the data and the previous panel, if the editor left it.
    QPointer<QWidget> first = static_cast<QWidget*>(plugin.create(&window, asset.data(), 40));
    QPointer<QWidget> second = static_cast<QWidget*>(plugin.create(&window, asset.data(), 2));
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(plugin.changed(), 0);
    EXPECT_EQ(Export(u"bin"), std::vector<std::uint8_t>(2, 0x11));
    EXPECT_EQ(plugin.create(nullptr, asset.data(), 1), nullptr);
    EXPECT_TRUE(second.isNull());
}

}  // namespace
}  // namespace kestrova::testing
