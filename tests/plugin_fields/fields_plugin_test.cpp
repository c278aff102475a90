// The Fields plug-in as the host uses it: the built library loaded with dlopen, given the context
// and the data, its panel offscreen driven through its model, and in the editor's window.

#include <gtest/gtest.h>

#include <fstream>

#include <QAction>
#include <QLabel>
#include <QTreeView>

#include <nlohmann/json.hpp>

#include "plugins/fields/fields_session.h"
#include "tests/plugin_fields/fields_test_support.h"
#include "tests/plugin_fields/real_objects.h"
#include "tests/plugin_text_audio/panel_test_support.h"
#include "tests/plugins/plugin_library.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class FieldsPluginTest : public PanelTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.complete()) << plugin.error;
        setContext = reinterpret_cast<SetPluginContextProc>(plugin.Symbol("SetPluginContext"));
        ASSERT_NE(setContext, nullptr);
    }
    // The host's hand-over: the context, then the data.
    QWidget* HandOver(const AssetContext& asset, const Bytes& body, QWidget* parent) {
        holder.Set(asset);
        setContext(holder.context());
        return plugin.Open(parent, body);
    }
    static QString Text(QAbstractItemModel* model, const QModelIndex& parent, int row, int column) {
        return model->data(model->index(row, column, parent)).toString();
    }

    // Panels stay alive until the host window goes, so the library stays loaded.
    const PluginLibrary& plugin = KeptLoaded(KESTROVA_FIELDS_PLUGIN);
    SetPluginContextProc setContext = nullptr;
    PluginContextHolder holder;
};

TEST_F(FieldsPluginTest, ShowsFieldsOpensLargeArraysInRangesAndEditsInPlace) {
    const SampleObject sample = Sample(2'000'000);
    QWidget* panel = HandOver(sample.Context(), sample.body, host.get());
    Place(panel);
    auto* view = panel->findChild<QTreeView*>(QStringLiteral("fieldsView"));
    ASSERT_NE(view, nullptr);
    QAbstractItemModel* model = view->model();
    const QModelIndex top;
    ASSERT_EQ(model->rowCount(top), 8);
    EXPECT_EQ(Text(model, top, 0, 2), QStringLiteral("Obj"));
    EXPECT_EQ(Text(model, top, 1, 1), QStringLiteral("PPtr<MonoScript>"));
    EXPECT_EQ(Text(model, top, 1, 2), QStringLiteral("file 0, path 5"));
    EXPECT_EQ(Text(model, top, 6, 2), QStringLiteral("3 bytes: 01 ab 00"));
    EXPECT_EQ(Text(model, top, 7, 2), QStringLiteral("2000000 elements"));
    EXPECT_FALSE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable) << "the name";

    // Two million elements: two ranges of a million, each of a thousand ranges of a thousand.
    const QModelIndex values = model->index(7, 0);
    ASSERT_EQ(model->rowCount(values), 2);
    const QString dots(QChar(0x2026));
    EXPECT_EQ(Text(model, values, 1, 0), QStringLiteral("[1000000 %1 1999999]").arg(dots));
    const QModelIndex million = model->index(1, 0, values);
    ASSERT_EQ(model->rowCount(million), 1000);
    const QModelIndex last = model->index(999, 0, million);
    EXPECT_EQ(model->data(last).toString(), QStringLiteral("[1999000 %1 1999999]").arg(dots));
    ASSERT_EQ(model->rowCount(last), 1000);
    EXPECT_EQ(Text(model, last, 999, 0), QStringLiteral("[1999999]"));
    EXPECT_EQ(Text(model, last, 999, 2), QStringLiteral("1999999"));
    view->expand(values);
    view->expand(model->index(0, 0, values));
    SaveScreenshot(host.get(), "plugin_fields");

    // Edits: refused with the reason in the line above the tree, taken when they fit the type.
    auto* message = panel->findChild<QLabel*>(QStringLiteral("fieldsMessage"));
    EXPECT_FALSE(model->setData(model->index(2, 2), QStringLiteral("many")));
    EXPECT_EQ(message->text(), QStringLiteral("\"many\" is not an integer"));
    EXPECT_TRUE(message->isVisibleTo(panel));
    EXPECT_TRUE(model->setData(model->index(2, 2), QStringLiteral("42")));
    EXPECT_FALSE(message->isVisibleTo(panel));
    EXPECT_TRUE(model->setData(model->index(4, 2), QStringLiteral("new")));
    EXPECT_EQ(Text(model, last, 999, 2), QStringLiteral("1999999")) << "found again after the move";
    EXPECT_EQ(plugin.assetChanged(), 1);
    Bytes expected = sample.body;
    expected[12] = 42;
    const Bytes label = ObjectBuilder().Str("new").Build();
    expected.erase(expected.begin() + 20, expected.begin() + 32);
    expected.insert(expected.begin() + 20, label.begin(), label.end());
    EXPECT_EQ(plugin.Data(), expected);
}

TEST_F(FieldsPluginTest, WithoutATreeThePanelSaysSoInOneLine) {
    const SampleObject sample = Sample();
    QWidget* panel = HandOver(sample.Context(false), sample.body, host.get());
    Place(panel);
    auto* message = panel->findChild<QLabel*>(QStringLiteral("fieldsMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), QString::fromUtf8(fields::kNoTreeMessage));
    EXPECT_FALSE(panel->findChild<QTreeView*>(QStringLiteral("fieldsView"))->isVisibleTo(panel));
    EXPECT_EQ(plugin.assetChanged(), 0);
}

TEST_F(FieldsPluginTest, ConvertsToJsonAndBackWithoutAPanel) {
    const SampleObject sample = Sample();
    EXPECT_EQ(HandOver(sample.Context(), sample.body, nullptr), nullptr);
    const std::optional<Bytes> exported = plugin.Export(u"json");
    ASSERT_TRUE(exported);
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(*exported);
    EXPECT_EQ(json["m_Blob"], "01ab00");
    json["m_Speed"] = "fast";
    const std::string edited = json.dump();
    EXPECT_FALSE(plugin.Import(Bytes(edited.begin(), edited.end()), u"json"));
    EXPECT_EQ(holder.TakeReport(), "m_Speed: \"fast\" is not a float");
    EXPECT_EQ(plugin.Import(*exported, u"json"), sample.body);
}

class FieldsInEditorTest : public GuiTest {
protected:
    // The window with the built Fields plug-in installed beside it.
    std::unique_ptr<MainWindow> StartWithFields() {
        std::filesystem::create_directories("Plugins/fields");
        for (const char* file : {"fields.so", "fields.plg"}) {
            std::filesystem::copy(
                std::filesystem::path(KESTROVA_FIELDS_PLUGIN).parent_path() / file,
                std::filesystem::path("Plugins/fields") / file);
        }
        return Start();
    }
    void Trigger(MainWindow& window, const char* action, const std::string& file) {
        chooser.Next(Wide(Path(file)), 1);
        window.findChild<QAction*>(QString::fromUtf8(action))->trigger();
        WaitForLongWork(window);
    }
};

TEST_F(FieldsInEditorTest, TakesClassesWithoutAPlugInOfTheirOwnAndOffersJson) {
    auto window = StartWithFields();
    OpenFile(*window, WriteSample());
    ClickRow(*window, static_cast<int>(Column(*window, 0).indexOf(QStringLiteral("alpha"))));
    ASSERT_NE(window->pluginPanel(), nullptr);
    EXPECT_EQ(window->pluginPanel()->objectName(), QStringLiteral("fieldsPanel"));
    auto* message = window->pluginPanel()->findChild<QLabel*>(QStringLiteral("fieldsMessage"));
    EXPECT_EQ(message->text(), QString::fromUtf8(fields::kNoTreeMessage));
    SaveScreenshot(window.get(), "plugin_fields_without_tree");

    // Export offers the plug-in's JSON; for an object without a tree it says why it cannot.
    Trigger(*window, "exportAction", "alpha.json");
    EXPECT_EQ(chooser.requests.back().filters.at(0).description, u"JSON (*.json)");
    EXPECT_FALSE(std::filesystem::exists(Path("alpha.json")));
    EXPECT_EQ(window->shell().statusText, u"The plug-in \"Fields\" refused: " +
                                              Wide(fields::kNoTreeMessage) +
                                              u" Nothing was exported.");
    Stop(window);
}

// A real file with type trees: the GameObject's fields exported as JSON, a longer tag typed into
// it and imported, then a shorter one typed into the view; the asset takes each new size, and Save
// As writes a file that differs in that object alone.
TEST_F(FieldsInEditorTest, EditsThroughJsonAndTheViewGoBackIntoARealObjectAndTheSavedFile) {
    const char* real = std::getenv("KESTROVA_REALDATA");
    const std::string original =
        std::string(real != nullptr ? real : "/nonexistent") + "/modern/ab5test_u513/1.unity";
    if (!std::filesystem::exists(original)) {
        GTEST_SKIP() << "KESTROVA_REALDATA/modern is not there";
    }
    auto window = StartWithFields();
    OpenFile(*window, original);
    const int camera = static_cast<int>(Column(*window, 0).indexOf(QStringLiteral("Main Camera")));
    ASSERT_GE(camera, 0);
    ClickRow(*window, camera);
    ASSERT_NE(window->pluginPanel(), nullptr);
    EXPECT_EQ(window->pluginPanel()->objectName(), QStringLiteral("fieldsPanel"));
    EXPECT_EQ(window->shell().document.entries.at(5).size, 185u);  // the camera's table entry

    Trigger(*window, "exportAction", "camera.json");
    EXPECT_EQ(chooser.requests.back().filters.at(0).description, u"JSON (*.json)");
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(std::ifstream(Path("camera.json")));
    EXPECT_EQ(json["m_TagString"], "MainCamera");
    json["m_TagString"] = "MainCamera, edited";
    std::ofstream(Path("edited.json")) << json.dump(2);
    Trigger(*window, "importAction", "edited.json");
    EXPECT_EQ(window->shell().document.entries.at(5).size, 193u);  // 8 more characters

    // Typed into the view: a number outside its type is refused, a shorter tag is taken and
    // goes back into the asset when another one is selected.
    auto* view = window->pluginPanel()->findChild<QTreeView*>(QStringLiteral("fieldsView"));
    ASSERT_NE(view, nullptr);
    QAbstractItemModel* model = view->model();
    const auto valueOf = [model](const char* name) {
        const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole,
                                                   QString::fromUtf8(name), 1, Qt::MatchExactly);
        return found.isEmpty() ? QModelIndex() : found[0].siblingAtColumn(2);
    };
    EXPECT_EQ(valueOf("m_TagString").data().toString(), QStringLiteral("MainCamera, edited"));
    EXPECT_FALSE(model->setData(valueOf("m_Layer"), QStringLiteral("70000000000")));
    EXPECT_TRUE(model->setData(valueOf("m_TagString"), QStringLiteral("Untagged")));
    ClickRow(*window, camera + 1);
    ClickRow(*window, camera);
    EXPECT_EQ(window->shell().document.entries.at(5).size, 181u);
    SaveScreenshot(window.get(), "plugin_fields_real_object");
    SaveAs(*window, Path("saved.unity"));
    Stop(window);

    const std::vector<Bytes> before = ObjectBodies(original, "", Wide(Path("")));
    const std::vector<Bytes> after = ObjectBodies(Path("saved.unity"), "", Wide(Path("")));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i] == before[i], i != 5) << "object " << i;
    }
}

}  // namespace
}  // namespace kestrova::testing
