// Later engines' AudioClips in the audio session: fields by engine version, the bank read through
// the host and exported as it is, no .wav of Vorbis, no import, damage and missing files named.

#include <gtest/gtest.h>

#include "plugins/audio/audio_session.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"

namespace kestrova::testing {
namespace {

TEST(StreamedClip, BanksAreReadFromTheResourceFileOrTheReasonGiven) {
    const Bytes bank = BuildSoundBank(15, {{32000, 1, 500, Bytes(300, 7), "", {}}}).bytes;
    const std::uint64_t size = bank.size();
    Bytes file(40, 0xEE);  // the bank at an offset inside its resource file
    file.insert(file.end(), bank.begin(), bank.end());
    const std::string path = "archive:/CAB-1/CAB-1.resource";
    Bytes cut = LaterClipBody(true, 1, 32000, path, 40, size);
    cut.resize(cut.size() - 3);
    struct Case {
        const char* engine;
        Bytes body;
        const char* said;  // empty when the bank reads
    };
    const Case cases[] = {
        {"5.6.0f3", LaterClipBody(false, 1, 32000, path, 40, size), ""},
        {"2017.1.0f3", LaterClipBody(true, 1, 32000, path, 40, size), ""},
        {"2022.3.9f1", LaterClipBody(true, 1, 32000, path, 40, size), ""},
        {"2019.4.26f1", cut, "does not read through"},
        {"2019.4.26f1", LaterClipBody(true, 1, 32000, "b.resource", 40, size), "\"b.resource\""},
        {"2019.4.26f1", LaterClipBody(true, 1, 32000, path, 48, size), "lies outside"},
        {"2019.4.26f1", LaterClipBody(true, 1, 32000, path, ~0ull, size), "lies outside"},
        {"2019.4.26f1", LaterClipBody(true, 1, 32000, "", 0, 0), "names no resource file"},
        {"2019.4.26f1", LaterClipBody(true, 1, 32000, path, 44, size - 4), "not an FSB5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.engine) + " " + c.said);
        fuzz::StreamHost host;
        host.files[path] = file;
        const TestContext context(c.engine, "clip", nullptr, host);
        audio::AudioSession session;
        session.SetContext(&context.context);
        session.Load(c.body);
        const bool damaged = session.damaged();
        const audio::StreamedSound* sound = session.streamed();
        const std::string message = damaged ? session.error() : sound->bankError;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
        EXPECT_EQ(session.Body().has_value(), !damaged);
        if (*c.said != 0) {
            EXPECT_FALSE(session.Export(u"fsb"));
            EXPECT_EQ(host.report, message);
            continue;
        }
        EXPECT_EQ(sound->clip.frequency, 32000);
        EXPECT_EQ(sound->clip.length, 2.0f);
        EXPECT_EQ(sound->Sample()->frames, 500u);
        EXPECT_EQ(session.Export(u"fsb"), bank);
        EXPECT_FALSE(session.Export(u"wav"));
        EXPECT_NE(host.report.find("Vorbis"), std::string::npos) << host.report;
        EXPECT_FALSE(session.Import(PcmWav(1, 32000, 16, 4), u"wav"));
        EXPECT_NE(host.report.find("resource file"), std::string::npos) << host.report;
        EXPECT_EQ(session.Body(), c.body);
    }
}

}  // namespace
}  // namespace kestrova::testing
