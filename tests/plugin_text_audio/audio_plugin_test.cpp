// The audio plug-in as the host uses it: the built library loaded with dlopen, its panel made in
// a host window offscreen, where there is no audio device.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/plugin_text_audio/panel_test_support.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"
#include "tests/plugins/plugin_library.h"

namespace kestrova::testing {
namespace {

using namespace std::string_view_literals;

const Bytes kOgg = AsBytes("OggS\0\x02 an ogg page"sv);

class AudioPluginTest : public PanelTest {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.complete()) << plugin.error; }

    static QString Field(QWidget* panel, const char* name) {
        auto* label = panel->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("(none)");
    }

    PluginLibrary plugin{KESTROVA_AUDIO_PLUGIN};
};

TEST_F(AudioPluginTest, ConvertsWithoutAPanel) {
    const Bytes wav = PcmWav(1, 8000, 8, 5);
    const Bytes body = AudioBodyOf(20, wav, {1, 2, 3, 4});
    EXPECT_EQ(plugin.Open(nullptr, body), nullptr);
    EXPECT_EQ(plugin.Export(u"wav"), wav);
    EXPECT_FALSE(plugin.Export(u"mp3"));
    EXPECT_FALSE(plugin.Import(kOgg, u"wav"));
    EXPECT_FALSE(plugin.Import(wav, u"ogg"));
    EXPECT_EQ(plugin.Import(kOgg, u"ogg"), AudioBodyOf(14, kOgg, {1, 2, 3, 4}));
    EXPECT_EQ(plugin.Export(u"ogg"), kOgg);
    EXPECT_EQ(plugin.assetChanged(), 0);
    EXPECT_EQ(plugin.Data(), AudioBodyOf(14, kOgg, {1, 2, 3, 4}));

    std::int32_t typeId = 0x53;
    EXPECT_EQ(plugin.importData(u"resources.assets", &typeId, u"2"), nullptr);
    EXPECT_EQ(typeId, 0x53);
}

TEST_F(AudioPluginTest, PanelTellsWhatTheClipIsAndPlaysWithoutAnAudioDevice) {
    const Bytes wav = PcmWav(1, 8000, 16, 4000);
    QWidget* panel = plugin.Open(host.get(), AudioBodyOf(20, wav));
    Place(panel);
    EXPECT_EQ(Field(panel, "soundType"), QStringLiteral("WAV (20)"));
    EXPECT_EQ(Field(panel, "streamLength"), QStringLiteral("8044 bytes"));
    EXPECT_EQ(Field(panel, "formatWord"), QStringLiteral("2"));
    EXPECT_EQ(Field(panel, "channels"), QStringLiteral("1"));
    EXPECT_EQ(Field(panel, "sampleRate"), QStringLiteral("8000 Hz"));
    EXPECT_EQ(Field(panel, "bitsPerSample"), QStringLiteral("16"));
    EXPECT_EQ(Field(panel, "duration"), QStringLiteral("0.50 s"));

    auto* play = panel->findChild<QPushButton*>(QStringLiteral("playButton"));
    auto* stop = panel->findChild<QPushButton*>(QStringLiteral("stopButton"));
    auto* status = panel->findChild<QLabel*>(QStringLiteral("playStatus"));
    ASSERT_TRUE(play && stop && status);
    play->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->text().isEmpty(); }, 5000));
    ProcessEvents();
    SaveScreenshot(panel, "plugin_audio_panel");
    stop->click();
    ProcessEvents();
    EXPECT_EQ(plugin.assetChanged(), 0);

    // An import through the host replaces the clip the panel shows; a refused one says why.
    EXPECT_FALSE(plugin.Import(wav, u"mp3"));
    EXPECT_TRUE(Field(panel, "audioMessage").contains(QStringLiteral("MPEG")));
    ASSERT_TRUE(plugin.Import(kOgg, u"ogg"));
    EXPECT_EQ(Field(panel, "soundType"), QStringLiteral("Ogg Vorbis (14)"));
    EXPECT_EQ(Field(panel, "channels"), QStringLiteral("(none)"));
    status->clear();
    play->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->text().isEmpty(); }, 5000));
    stop->click();
}

// A later engine's clip: the panel tells its bank's codec, channels, rate, length, sample count
// and resource file and plays its sample; a missing resource file is named.
TEST_F(AudioPluginTest, StreamedClipShowsItsBank) {
    auto setContext = reinterpret_cast<SetPluginContextProc>(plugin.Symbol("SetPluginContext"));
    ASSERT_NE(setContext, nullptr);
    fuzz::StreamHost files;
    files.files["a.resource"] =
        BuildSoundBank(7, {{22050, 2, 220, Bytes(288, 0x21), "", {}}}).bytes;
    const TestContext context("2019.4.26f1", "clip", nullptr, files);
    setContext(&context.context);
    QWidget* panel = plugin.Open(host.get(), LaterClipBody(true, 2, 22050, "a.resource", 0, 356));
    Place(panel);
    EXPECT_EQ(Field(panel, "codec"), QStringLiteral("IMA ADPCM"));
    EXPECT_EQ(Field(panel, "sampleCount"), QStringLiteral("220"));
    EXPECT_EQ(Field(panel, "sourceFile"), QStringLiteral("a.resource (356 bytes at 0)"));
    auto* status = panel->findChild<QLabel*>(QStringLiteral("playStatus"));
    panel->findChild<QPushButton*>(QStringLiteral("playButton"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->text().isEmpty(); }, 5000));
    SaveScreenshot(panel, "plugin_audio_streamed_panel");
    panel->findChild<QPushButton*>(QStringLiteral("stopButton"))->click();

    setContext(&context.context);
    panel = plugin.Open(host.get(), LaterClipBody(true, 2, 22050, "gone.resource", 0, 356));
    EXPECT_TRUE(Field(panel, "audioMessage").contains(QStringLiteral("\"gone.resource\"")));
}

TEST_F(AudioPluginTest, DamagedBodyShowsItsMessageAndRefusesConversions) {
    Bytes damaged = AudioBodyOf(20, PcmWav(1, 8000, 8, 5));
    damaged.resize(30);
    QWidget* panel = plugin.Open(host.get(), damaged);
    Place(panel);
    EXPECT_TRUE(Field(panel, "audioMessage").contains(QStringLiteral("audio stream")));
    EXPECT_EQ(panel->findChild<QPushButton*>(QStringLiteral("playButton")), nullptr);
    EXPECT_FALSE(plugin.Export(u"wav"));
    EXPECT_FALSE(plugin.Import(PcmWav(1, 8000, 8, 5), u"wav"));
    EXPECT_FALSE(plugin.Data());
}

}  // namespace
}  // namespace kestrova::testing
