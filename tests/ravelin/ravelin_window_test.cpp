// Ravelin inside the real main window, installed under "Plugins" with its data and loaded by the
// editor: a mod built in the "Ravelin" mode from assets of two real files is saved with each
// asset's whole data, and after a restart of the editor it opens the same and saves to the same
// bytes.

#include <QLineEdit>

#include "common/text.h"
#include "editor/shell/ui/list_panel.h"
#include "plugins/ravelin/core/mod_file.h"
#include "tests/ravelin/ravelin_gui_support.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class RavelinWindowTest : public GuiTest {
protected:
    RavelinWindowTest() {
        const std::filesystem::path installed =
            std::filesystem::path(RAVELIN_LIBRARY).parent_path();
        const std::filesystem::path plugins = std::filesystem::current_path() / "Plugins";
        std::filesystem::create_directories(plugins);
        std::filesystem::copy(installed, plugins / "ravelin",
                              std::filesystem::copy_options::recursive);
    }

    // Shows list row `row` in the "Ravelin" mode and returns the form.
    QWidget* Select(MainWindow& window, int row) {
        ClickRow(window, row);
        QWidget* form = window.pluginPanel();
        EXPECT_NE(form, nullptr);
        EXPECT_EQ(form == nullptr ? QString() : form->objectName(), "RavelinModForm");
        return form;
    }
    // Adds list row `row` of the open file `path` to the mod; keeps the line the "Mod Files"
    // list will show for it and the asset's whole data as the file holds it, padded to 4.
    void Add(MainWindow& window, const std::string& path, int row) {
        ClickFormButton(Select(window, row), 1016);
        const EditorShell& shell = window.shell();
        const AssetEntry& e =
            shell.document.entries[shell.rowAssetIndex(static_cast<std::size_t>(row))];
        expectedItems << Q(shell.document.documentName + u"/" + e.name + u" (" +
                           DecimalText(static_cast<std::int32_t>(e.pathId)) + u")");
        const Bytes file = ReadBytes(path);
        const auto start =
            file.begin() + static_cast<std::ptrdiff_t>(shell.document.DataBase() + e.offset);
        Bytes data(start, start + e.size);
        data.resize((data.size() + 3) / 4 * 4, 0);
        expectedData.push_back(std::move(data));
    }

    QStringList expectedItems;
    std::vector<Bytes> expectedData;
};

TEST_F(RavelinWindowTest, AModOfTwoRealFilesOpensTheSameAfterARestart) {
    const std::string first = RealFile("ld24_Ludum_Data_resources.assets");
    const std::string second = RealFile("ld24_EvilTestsWin32_level0");
    if (first.empty() || second.empty()) {
        GTEST_SKIP() << "no real files (KESTROVA_REALDATA)";
    }
    const QString saved = QString::fromStdString(Path("two.umod"));

    auto window = Start();
    EXPECT_TRUE(messages.warnings.empty());
    OpenFile(*window, first);
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    ProcessEvents();
    Add(*window, first, 0);
    Add(*window, first, 2);
    OpenFile(*window, second);
    Add(*window, second, 5);
    QWidget* form = window->pluginPanel();
    std::shared_ptr<QStringList> warning = AnswerNextMessageBox();
    ClickFormButton(form, 1016);  // the same asset again is refused
    EXPECT_EQ(*warning,
              (QStringList{"Unable to load asset into mod.", "Asset already exists in mod."}));
    form->findChild<QLineEdit*>(QStringLiteral("control1001"))->setText("Two files");
    AnswerNextFileDialog(saved);
    ClickFormButton(form, 1018);
    QStringList expected = expectedItems;
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(FormListTexts(form), expected);
    SaveScreenshot(window.get(), "ravelin_in_window");
    Stop(window);
    EXPECT_FALSE(std::filesystem::exists("Temp"));

    // Entries sorted by file name (the second file's name sorts first), each with its data.
    const Bytes file = ReadBytes(Path("two.umod"));
    ravelin::ModRecord mod;
    ravelin::ModLayout layout;
    ASSERT_TRUE(ravelin::ParseMod(file, 0, mod, layout).ok);
    std::vector<Bytes> stored;
    for (const ravelin::ModEntry& e : mod.entries) {
        const auto start =
            file.begin() + static_cast<std::ptrdiff_t>(layout.payloadStart + e.offset);
        stored.emplace_back(start, start + e.length);
    }
    EXPECT_EQ(stored, (std::vector<Bytes>{expectedData[2], expectedData[0], expectedData[1]}));

    window = Start();
    OpenFile(*window, first);
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    form = Select(*window, 1);
    EXPECT_TRUE(FormListTexts(form).isEmpty());
    AnswerNextFileDialog(saved);
    ClickFormButton(form, 1019);
    EXPECT_EQ(FormListTexts(form), expected);
    EXPECT_EQ(form->findChild<QLineEdit*>(QStringLiteral("control1001"))->text(), "Two files");
    AnswerNextFileDialog(QString::fromStdString(Path("again.umod")));
    ClickFormButton(form, 1018);
    Stop(window);
    EXPECT_EQ(ReadBytes(Path("again.umod")), ReadBytes(Path("two.umod")));
}

TEST_F(RavelinWindowTest, AModOfAFormat22AssetAndABundleMembersAssetReopensTheSame) {
    const std::string level = RealFile("modern/pong_u2021318/level0");
    const std::string bundle = RealFile("modern/abtest_u201839/cube.ab");
    if (level.empty() || bundle.empty()) {
        GTEST_SKIP() << "no real files (KESTROVA_REALDATA)";
    }
    const QString saved = QString::fromStdString(Path("later.umod"));
    // Each added asset as the open document describes it.
    std::vector<ravelin::ModEntry> described;
    auto addRow = [&](MainWindow& window, int row) {
        ClickFormButton(Select(window, row), 1016);
        const AssetFile& doc = window.shell().document;
        const AssetEntry& e = doc.entries[window.shell().rowAssetIndex(row)];
        ravelin::ModEntry entry;
        entry.fileName = doc.documentName;
        entry.member = doc.compressed ? Latin1ToUtf16(doc.compressed->name()) : u"";
        entry.classId = e.classId;
        entry.pathId = e.pathId;
        described.push_back(entry);
    };

    auto window = Start();
    OpenFile(*window, level);
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    ProcessEvents();
    addRow(*window, 1);
    OpenFile(*window, bundle);
    addRow(*window, 0);
    QWidget* form = window->pluginPanel();
    AnswerNextFileDialog(saved);
    ClickFormButton(form, 1018);
    const QStringList listed = FormListTexts(form);
    Stop(window);

    // Sorted by file name: the bundle's entry first, in the extended form.
    const Bytes file = ReadBytes(Path("later.umod"));
    ravelin::ModRecord mod;
    ravelin::ModLayout layout;
    ASSERT_TRUE(ravelin::ParseMod(file, 0, mod, layout).ok);
    EXPECT_EQ(layout.format, ravelin::ModFormat::Extended);
    ASSERT_EQ(mod.entries.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const ravelin::ModEntry& stored = mod.entries[i];
        const ravelin::ModEntry& asset = described[1 - i];
        EXPECT_EQ(stored.fileName, asset.fileName);
        EXPECT_EQ(stored.member, asset.member);
        EXPECT_EQ(stored.classId, asset.classId);
        EXPECT_EQ(stored.pathId, asset.pathId);
    }
    EXPECT_FALSE(mod.entries[0].member.empty());
    EXPECT_NE(mod.entries[0].classId, ravelin::kNoClassId);

    window = Start();
    OpenFile(*window, level);
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    form = Select(*window, 0);
    AnswerNextFileDialog(saved);
    ClickFormButton(form, 1019);
    EXPECT_EQ(FormListTexts(form), listed);
    AnswerNextFileDialog(QString::fromStdString(Path("again.umod")));
    ClickFormButton(form, 1018);
    Stop(window);
    EXPECT_EQ(ReadBytes(Path("again.umod")), file);
}

}  // namespace
}  // namespace kestrova::testing
