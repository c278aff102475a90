// The text and audio plug-ins in the editor on the real game files: installed from the run
// folder into the window's "Plugins", their panels beside the list, an edit written back when the
// selection moves on; and kestrova-cli converting through them without a display.

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "tests/document/program_run.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

class EditorPluginTest : public GuiTest {
protected:
    void SetUp() override {
        real = RealDataFolder();
        if (real.empty()) {
            GTEST_SKIP() << "KESTROVA_REALDATA is not set";
        }
        std::filesystem::create_directories("Plugins");
        for (const char* plugin : {"text", "audio"}) {
            std::filesystem::copy(std::filesystem::path(KESTROVA_RUN_PLUGINS) / plugin,
                                  std::filesystem::current_path() / "Plugins" / plugin,
                                  std::filesystem::copy_options::recursive);
        }
    }
    static int RowNamed(MainWindow& window, const QString& name) {
        return static_cast<int>(Column(window, 0).indexOf(name));
    }
    std::string Real(const std::string& name) const { return real + "/" + name; }

    std::string real;
};

TEST_F(EditorPluginTest, ShaderShowsItsSourceAndAnEditIsWrittenBackOnLeaving) {
    auto window = Start();
    OpenFile(*window, Real("ld24_EvilTestsWin32_sharedassets1.assets"));
    const int shader = RowNamed(*window, QStringLiteral("DepthMask"));
    ASSERT_GE(shader, 0);
    EXPECT_EQ(Cell(*window, shader, 1), QStringLiteral("Shader"));
    ClickRow(*window, shader);
    ASSERT_NE(window->pluginPanel(), nullptr);
    auto* editor = window->pluginPanel()->findChild<QPlainTextEdit*>(QStringLiteral("textEditor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->toPlainText().startsWith(QStringLiteral("Shader \"Masked/Mask\" {")));
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral("// edited"));
    SaveScreenshot(window.get(), "plugin_text_in_window");

    ClickRow(*window, shader == 0 ? 1 : 0);
    ClickRow(*window, shader);
    editor = window->pluginPanel()->findChild<QPlainTextEdit*>(QStringLiteral("textEditor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->toPlainText().endsWith(QStringLiteral("}\n}// edited")))
        << editor->toPlainText().right(40).toStdString();
    Stop(window);
}

TEST_F(EditorPluginTest, AudioClipShowsItsDetailsAndPlays) {
    auto window = Start();
    OpenFile(*window, Real("ld24_Ludum_Data_resources.assets"));
    const int clip = RowNamed(*window, QStringLiteral("boing"));
    ASSERT_GE(clip, 0);
    ClickRow(*window, clip);
    QWidget* panel = window->pluginPanel();
    ASSERT_NE(panel, nullptr);
    auto* rate = panel->findChild<QLabel*>(QStringLiteral("sampleRate"));
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->text(), QStringLiteral("44100 Hz"));
    auto* status = panel->findChild<QLabel*>(QStringLiteral("playStatus"));
    auto* play = panel->findChild<QPushButton*>(QStringLiteral("playButton"));
    ASSERT_TRUE(status && play);
    play->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->text().isEmpty(); }, 5000));
    ProcessEvents();
    SaveScreenshot(window.get(), "plugin_audio_in_window");
    panel->findChild<QPushButton*>(QStringLiteral("stopButton"))->click();
    Stop(window);
}

TEST_F(EditorPluginTest, CommandLineExportsAndImportsBackTheSameFile) {
    const std::string cli = std::string(KESTROVA_CLI) + " ";
    const std::string plugins = " --plugins '" + std::string(KESTROVA_RUN_PLUGINS) + "'";
    const std::string resources = Real("ld24_EvilTestsWin32_unity_default_resources");
    ProgramRun run =
        RunProgram(cli + "export '" + resources + "' --all --type Shader --as txt -d " +
                   Path("shaders") + plugins + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("71 converted to .txt"), std::string::npos) << run.out;

    // Shaders with the longest source and an empty one, and a clip: each exported file imports
    // back to a file identical to the original.
    struct Case {
        std::string file;
        int pathId;
        std::string as;
    };
    const Case cases[] = {{resources, 63, "txt"},
                          {resources, 100, "txt"},
                          {Real("ld24_Ludum_Data_resources.assets"), 3, "wav"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pathId);
        const std::string exported = Path("exported." + c.as);
        const std::string written = Path("written.assets");
        const std::string asset = " --path-id " + std::to_string(c.pathId) + " --as " + c.as;
        run = RunProgram(cli + "export '" + c.file + "'" + asset + " -o " + exported + plugins);
        ASSERT_EQ(run.status, 0);
        run = RunProgram(cli + "import '" + c.file + "'" + asset + " --data " + exported + " -o " +
                         written + plugins);
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(ReadBytes(written), ReadBytes(c.file));
    }
    // A text is no sound: refused, nothing written.
    run = RunProgram(cli + "import '" + Real("ld24_Ludum_Data_resources.assets") +
                     "' --path-id 3 --as wav --data " + Path("exported.txt") + " -o " +
                     Path("refused.assets") + plugins + " 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_FALSE(std::filesystem::exists(Path("refused.assets")));
}

// Every TextAsset and AudioClip of the later engines' real files, converted by kestrova-cli: the
// texts exactly and back; the clip, whose resource file is not among the real files, once a
// bank of the size it names lies beside its bundle.
TEST_F(EditorPluginTest, CommandLineConvertsTheLaterEnginesTextsAndClips) {
    const std::string cli = std::string(KESTROVA_CLI) + " ";
    const std::string plugins = " --plugins '" + std::string(KESTROVA_RUN_PLUGINS) + "'";
    const std::string texts = Real("modern/pong_u2021318/resources.assets");
    for (int pathId : {6, 7}) {
        SCOPED_TRACE(pathId);
        const std::string asset = " --path-id " + std::to_string(pathId);
        ProgramRun run = RunProgram(cli + "export '" + texts + "'" + asset + " --as txt -o " +
                                    Path("text.txt") + plugins);
        ASSERT_EQ(run.status, 0);
        // The text imported back gives the file as it was, byte for byte: it was exported whole.
        run = RunProgram(cli + "import '" + texts + "'" + asset + " --as txt --data " +
                         Path("text.txt") + " -o " + Path("written.assets") + plugins);
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(ReadBytes(Path("written.assets")), ReadBytes(texts));
    }

    const std::string clipAsset = " --member sharedassets0.assets --path-id 8";
    const std::string original = Real("modern/gamecode8_u2020322/data.unity3d");
    // The clip names 4526212 bytes at 0: a PCM bank of that size beside a copy of the bundle.
    std::filesystem::create_directories(Path("game"));
    const std::string bundle = Path("game/data.unity3d");
    std::filesystem::copy_file(original, bundle);
    const std::uint64_t frames = (4526212 - 0x3C - 8) / 4;
    const BuiltBank bank =
        BuildSoundBank(2, {{44100, 2, frames, SineFrames(2, frames, 2), "", {}}});
    WriteBytes(Path("game/sharedassets0.resource"), bank.bytes);
    ProgramRun run = RunProgram(cli + "export '" + bundle + "'" + clipAsset + " --as fsb -o " +
                                Path("clip.fsb") + plugins);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(ReadBytes(Path("clip.fsb")), bank.bytes);
    run = RunProgram(cli + "export '" + bundle + "'" + clipAsset + " --as wav -o " +
                     Path("clip.wav") + plugins);
    ASSERT_EQ(run.status, 0);
    const Bytes wav = ReadBytes(Path("clip.wav"));
    ASSERT_EQ(wav.size(), 44 + frames * 4);
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), bank.bytes.begin() + 0x44));
    run = RunProgram(cli + "import '" + bundle + "'" + clipAsset + " --as wav --data " +
                     Path("clip.wav") + " -o " + Path("refused.unity3d") + plugins + " 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("streamed clips take no import"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(Path("refused.unity3d")));
}

}  // namespace
}  // namespace kestrova::testing
