// The audio plug-in's core without Qt: the body, the signatures, the WAV header, the session.

#include <gtest/gtest.h>

#include <optional>

#include "plugins/audio/audio_body.h"
#include "plugins/audio/audio_session.h"
#include "tests/plugin_text_audio/plugin_test_support.h"

namespace kestrova::testing {
namespace {

using namespace std::string_view_literals;
using audio::AudioKind;
using audio::AudioSession;

class FakeView : public audio::AudioView {
public:
    void Reload() override { ++reloads; }
    void Refused(const std::string& why) override { refusals.push_back(why); }
    int reloads = 0;
    std::vector<std::string> refusals;
};

const Bytes kOgg = AsBytes("OggS\0\x02 rest of an ogg page"sv);
const Bytes kId3 = AsBytes("ID3\x03\0\0\0\0\0\0 tag then frames"sv);
const Bytes kFrame = {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0};

TEST(AudioCore, RealClipsExportTheirStreamAndReimportToTheSameBody) {
    if (RealDataFolder().empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    const std::vector<RealAsset> clips = RealAssetsOfType(0x53);
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(clips[0].name, "aaa");
    EXPECT_EQ(clips[1].name, "boing");
    for (const RealAsset& clip : clips) {
        SCOPED_TRACE(clip.name);
        AudioSession session;
        session.Load(clip.body);
        ASSERT_FALSE(session.damaged()) << session.error();
        EXPECT_EQ(session.kind(), AudioKind::Wav);
        const std::uint32_t length = GetLittle32(clip.body, 16);
        const std::optional<Bytes> exported = session.Export(u"wav");
        ASSERT_TRUE(exported);
        EXPECT_EQ(*exported, Bytes(clip.body.begin() + 20, clip.body.begin() + 20 + length));
        EXPECT_EQ(audio::DetectKind(*exported), AudioKind::Wav);
        EXPECT_TRUE(session.body().rest.empty());
        EXPECT_FALSE(session.Export(u"ogg"));
        EXPECT_EQ(session.Import(*exported, u"wav"), clip.body);
        const std::optional<audio::WavInfo> wav = audio::ReadWavInfo(*exported);
        ASSERT_TRUE(wav);
        EXPECT_EQ(wav->formatTag, 1);
        EXPECT_EQ(wav->channels, 1);
        EXPECT_EQ(wav->bitsPerSample, 16);
        EXPECT_GT(wav->seconds, 0.1);
    }
    EXPECT_EQ(
        audio::ReadWavInfo(Bytes(clips[0].body.begin() + 20, clips[0].body.end()))->sampleRate,
        11127u);
}

TEST(AudioCore, DamagedBodiesAreRefused) {
    Bytes noLength = AudioBodyOf(20, {});
    noLength.resize(16);
    Bytes past = AudioBodyOf(20, PcmWav(1, 8000, 8, 4));
    past[16] += 1;
    Bytes huge = AudioBodyOf(20, PcmWav(1, 8000, 8, 4));
    huge[19] = 0xFF;
    // A later engine's AudioClip: load type, channels, frequency, bits, then the length in
    // seconds as a float where the stream's length would be; the samples lie in a resource file.
    Bytes later(96, 0);
    const std::uint32_t laterWords[] = {1, 2, 44100, 16, 0x404CCCCD};
    for (std::size_t k = 0; k < 5; ++k) {
        for (int b = 0; b < 4; ++b) {
            later[4 * k + b] = static_cast<std::uint8_t>(laterWords[k] >> (8 * b));
        }
    }
    for (const Bytes& body : {Bytes{}, Bytes(15, 0), noLength, past, huge, later}) {
        SCOPED_TRACE(body.size());
        AudioSession session;
        session.Load(body);
        EXPECT_TRUE(session.damaged());
        EXPECT_FALSE(session.error().empty());
        EXPECT_FALSE(session.Export(u"wav"));
        EXPECT_FALSE(session.Import(PcmWav(1, 8000, 8, 4), u"wav"));
        EXPECT_FALSE(session.Body());
    }
}

TEST(AudioCore, ImportTakesOnlyAFileOfItsExtensionsKindAndSetsTypeAndLength) {
    const Bytes rest = {0xAA, 0xBB, 0xCC};
    const Bytes wav = PcmWav(2, 22050, 16, 3);
    AudioSession session;
    session.Load(AudioBodyOf(20, wav, rest));
    FakeView view;
    session.Attach(&view);

    // Content that does not match the extension, or no sound file at all.
    EXPECT_FALSE(session.Import(wav, u"ogg"));
    EXPECT_FALSE(session.Import(kOgg, u"mp3"));
    EXPECT_FALSE(session.Import(AsBytes("RIFF\x10\0\0\0AVI LIST"sv), u"wav"));
    EXPECT_FALSE(session.Import(AsBytes("plain text"), u"wav"));
    EXPECT_FALSE(session.Import(Bytes{0xFF, 0xC0}, u"mp3"));
    EXPECT_FALSE(session.Import(kOgg, u"flac"));
    EXPECT_EQ(view.refusals.size(), 5u);  // the unknown extension is not the user's doing
    EXPECT_EQ(view.reloads, 0);

    EXPECT_EQ(session.Import(kOgg, u"OGG"), AudioBodyOf(14, kOgg, rest));
    EXPECT_EQ(session.kind(), AudioKind::OggVorbis);
    EXPECT_EQ(session.Export(u"ogg"), kOgg);
    EXPECT_FALSE(session.Export(u"wav"));
    EXPECT_EQ(session.Import(kId3, u"mp3"), AudioBodyOf(13, kId3, rest));
    EXPECT_EQ(session.Import(kFrame, u"mp3"), AudioBodyOf(13, kFrame, rest));
    EXPECT_EQ(session.Import(wav, u"wav"), AudioBodyOf(20, wav, rest));
    EXPECT_EQ(view.reloads, 4);

    // A sound type of no known kind exports nothing, and says why.
    session.Load(AudioBodyOf(7, wav));
    session.Attach(&view);
    EXPECT_FALSE(session.Export(u"wav"));
    EXPECT_NE(view.refusals.back().find("sound type 7"), std::string::npos);
}

TEST(AudioCore, WavHeaderIsReadAcrossOtherChunksAndNeverBeyondTheFile) {
    const Bytes plain = PcmWav(2, 44100, 16, 44100);
    std::optional<audio::WavInfo> info = audio::ReadWavInfo(plain);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->channels, 2);
    EXPECT_EQ(info->sampleRate, 44100u);
    EXPECT_EQ(info->dataBytes, 44100u * 4);
    EXPECT_DOUBLE_EQ(info->seconds, 1.0);

    // An odd-sized chunk (and its pad byte) before the format.
    Bytes listed(plain.begin(), plain.begin() + 12);
    for (std::uint8_t b : AsBytes("LIST\x03\0\0\0abc\0"sv)) {
        listed.push_back(b);
    }
    listed.insert(listed.end(), plain.begin() + 12, plain.end());
    info = audio::ReadWavInfo(listed);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->sampleRate, 44100u);

    // A data chunk that claims more than the file holds counts what is there.
    Bytes cut(plain.begin(), plain.begin() + 44 + 1000);
    info = audio::ReadWavInfo(cut);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dataBytes, 1000u);

    // No format chunk, or one cut short: no details.
    EXPECT_FALSE(audio::ReadWavInfo(Bytes(plain.begin(), plain.begin() + 30)));
    Bytes noFormat = AsBytes("RIFF\x0c\0\0\0WAVEdata\0\0\0\0"sv);
    EXPECT_FALSE(audio::ReadWavInfo(noFormat));
    EXPECT_FALSE(audio::ReadWavInfo(kOgg));
}

}  // namespace
}  // namespace kestrova::testing
