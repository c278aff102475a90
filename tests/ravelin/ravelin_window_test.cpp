// Ravelin inside the real main window, installed under "Plugins" with its data and loaded by the
// editor: a mod built in the "Ravelin" mode from assets of real files of every form (format 9, a
// format-22 level, a compressed bundle's member) is saved with each asset's whole data, and after a
// restart of the editor it opens the same and saves to the same bytes.

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
    // Adds list row `row` of the open file to the mod; keeps the line the "Mod Files" list will
    // show for it and the asset's whole data, padded to 4.
    void Add(MainWindow& window, int row) {
        ClickFormButton(Select(window, row), 1016);
        const EditorShell& shell = window.shell();
        const AssetEntry& e =
            shell.document.entries[shell.rowAssetIndex(static_cast<std::size_t>(row))];
        const auto& bundle = shell.document.compressed;
        expectedItems << Q(shell.document.documentName +
                           (bundle ? u"/" + Latin1ToUtf16(bundle->name()) : u"") + u"/" + e.name +
                           u" (" + PathIdText(shell.document, e) + u")");
        const Bytes file = ReadBytes(Utf16ToUtf8(shell.document.WorkingCopyPath()));
        const auto start =
            file.begin() + static_cast<std::ptrdiff_t>(shell.document.DataBase() + e.offset);
        Bytes data(start, start + e.size);
        data.resize((data.size() + 3) / 4 * 4, 0);
        expectedData.push_back(std::move(data));
    }

    QStringList expectedItems;
    std::vector<Bytes> expectedData;
};

TEST_F(RavelinWindowTest, AModOfRealFilesOfEveryFormOpensTheSameAfterARestart) {
    const std::string first = RealFile("ld24_Ludum_Data_resources.assets");
    const std::string second = RealFile("ld24_EvilTestsWin32_level0");
    const std::string level = RealFile("modern/pong_u2021318/level0");
    const std::string bundle = RealFile("modern/abtest_u201839/cube.ab");
    if (first.empty() || second.empty() || level.empty() || bundle.empty()) {
        GTEST_SKIP() << "no real files (KESTROVA_REALDATA)";
    }
    const QString saved = QString::fromStdString(Path("two.umod"));

    auto window = Start();
    EXPECT_TRUE(messages.warnings.empty());
    OpenFile(*window, first);
    window->listPanel()->modeButton(PanelMode::Mod)->click();
    ProcessEvents();
    Add(*window, 0);
    Add(*window, 2);
    OpenFile(*window, second);
    Add(*window, 5);
    QWidget* form = window->pluginPanel();
    std::shared_ptr<QStringList> warning = AnswerNextMessageBox();
    ClickFormButton(form, 1016);  // the same asset again is refused
    EXPECT_EQ(*warning,
              (QStringList{"Unable to load asset into mod.", "Asset already exists in mod."}));
    OpenFile(*window, level);
    Add(*window, 1);
    OpenFile(*window, bundle);
    Add(*window, 0);
    form = window->pluginPanel();
    form->findChild<QLineEdit*>(QStringLiteral("control1001"))->setText("Two files");
    AnswerNextFileDialog(saved);
    ClickFormButton(form, 1018);
    QStringList expected = expectedItems;
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(FormListTexts(form), expected);
    SaveScreenshot(window.get(), "ravelin_in_window");
    Stop(window);
    EXPECT_FALSE(std::filesystem::exists("Temp"));

    // Entries sorted by file name, each with its data; those of the later forms with their class.
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
    EXPECT_EQ(stored, (std::vector<Bytes>{expectedData[4], expectedData[2], expectedData[0],
                                          expectedData[1], expectedData[3]}));
    EXPECT_EQ(layout.format, ravelin::ModFormat::Extended);
    EXPECT_NE(mod.entries[0].classId * mod.entries[4].classId, ravelin::kNoClassId);
    EXPECT_EQ(mod.entries[1].classId, ravelin::kNoClassId);

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

}  // namespace
}  // namespace kestrova::testing
