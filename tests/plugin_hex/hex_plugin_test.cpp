// The built hex.so through its five entry points, as the editor and kestrova-cli call them.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include <QPointer>
#include <QTest>

#include "tests/plugins/plugin_library.h"

namespace kestrova::testing {
namespace {

// hex.so from the run folder, loaded as the editor loads it and kept loaded to the end of the
// program.
TEST(HexPlugin, ConvertsWithoutAWindow) {
    const PluginLibrary& plugin = KeptLoaded(HEX_PLUGIN_LIBRARY);
    ASSERT_TRUE(plugin.complete());
    std::vector<std::uint8_t> asset = {0x00, 0xFF, 0x41, 0x0A, 0x80};
    EXPECT_EQ(plugin.Open(nullptr, asset), nullptr);
    const std::vector<std::uint8_t> handed = asset;
    asset.assign(5, 0x77);  // the editor's buffer is only valid during the call
    EXPECT_EQ(plugin.assetChanged(), 0);
    EXPECT_EQ(plugin.Export(u"bin"), handed);
    EXPECT_EQ(plugin.Export(u"BiN"), handed);
    for (const char16_t* other :
         {u"txt", u"bi", u"binx", u"", static_cast<const char16_t*>(nullptr)}) {
        EXPECT_FALSE(plugin.Export(other));
    }

    // Importing raw bytes gives a copy of them, whatever the asset holds.
    const std::uint8_t file[] = {1, 2, 3};
    std::int32_t length = 3;
    std::uint8_t* block = plugin.importData(file, &length, u"bin");
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block, file);
    EXPECT_EQ(PluginLibrary::TakeBlock(block, length), std::vector<std::uint8_t>(file, file + 3));
    EXPECT_EQ(plugin.Import(std::span(file, 0), u"bin"), Bytes{})
        << "an empty file imports as empty data, not as a refusal";

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
    EXPECT_EQ(plugin.createPluginDialog(nullptr, asset.data(), -5), nullptr);
    EXPECT_EQ(plugin.Export(u"bin"), Bytes{});
    EXPECT_EQ(plugin.createPluginDialog(nullptr, nullptr, 5), nullptr);
    EXPECT_TRUE(plugin.Export(u"bin").value_or(Bytes{}).empty());
    EXPECT_EQ(plugin.assetChanged(), 0);
}

TEST(HexPlugin, PanelEditsReachGetDataAfterTheEditorDestroysThePanel) {
    const PluginLibrary& plugin = KeptLoaded(HEX_PLUGIN_LIBRARY);
    ASSERT_TRUE(plugin.complete());
    QWidget window;
    window.resize(900, 500);
    window.show();
    std::vector<std::uint8_t> asset(40, 0x11);
    QWidget* panel = plugin.Open(&window, asset);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->parentWidget(), &window);
    panel->setGeometry(0, 0, 900, 500);
    panel->show();
    QWidget* view = panel->findChild<QWidget*>(QStringLiteral("hexView"));
    ASSERT_NE(view, nullptr);
    QTest::keyClicks(view, "c3");
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClicks(view, "Z");
    EXPECT_EQ(plugin.assetChanged(), 1);

    // The editor asks only after it has destroyed the panel.
    delete panel;
    EXPECT_EQ(plugin.assetChanged(), 1);
    std::int32_t length = -7;
    std::vector<std::uint8_t> expected(40, 0x11);
    expected[0] = 0xC3;
    expected[1] = 'Z';
    std::uint8_t* data = plugin.getData(&length);
    EXPECT_EQ(PluginLibrary::TakeBlock(data, length), expected);
    EXPECT_EQ(length, 40);
    EXPECT_EQ(plugin.Export(u"bin"), expected);

    // A new asset replaces the data and the previous panel, if the editor left it.
    QPointer<QWidget> first = plugin.Open(&window, asset);
    QPointer<QWidget> second = plugin.Open(&window, std::span(asset).first(2));
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(plugin.assetChanged(), 0);
    EXPECT_EQ(plugin.Export(u"bin"), std::vector<std::uint8_t>(2, 0x11));
    EXPECT_EQ(plugin.Open(nullptr, std::span(asset).first(1)), nullptr);
    EXPECT_TRUE(second.isNull());
}

}  // namespace
}  // namespace kestrova::testing
