// AudioClips of engine 5 and later in the audio session: their fields read by the engine version
// or through a type tree, their sound bank read through the host's reader and exported as .fsb;
// a Vorbis bank has no .wav, imports are refused, and damaged clips and resources are named.

#include <gtest/gtest.h>

#include "plugins/audio/audio_session.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"

namespace kestrova::testing {
namespace {

using audio::AudioSession;

TEST(StreamedClip, FieldsReadByEngineVersionOrTypeTreeAndImportsAreRefused) {
    const Bytes bank = BuildSoundBank(15, {{32000, 1, 500, Bytes(300, 7), "", {}}}).bytes;
    Bytes file(40, 0xEE);  // the bank at an offset inside its resource file
    file.insert(file.end(), bank.begin(), bank.end());
    // A tree that names a field the version would not have (m_Flags): the tree wins.
    const TypeTree tree = TreeOf({{0, "AudioClip", "Base"},
                                  {1, "string", "m_Name", true},
                                  {1, "int", "m_LoadType"},
                                  {1, "int", "m_Channels"},
                                  {1, "int", "m_Frequency"},
                                  {1, "int", "m_BitsPerSample"},
                                  {1, "float", "m_Length"},
                                  {1, "bool", "m_IsTrackerFormat"},
                                  {1, "bool", "m_Ambisonic", true},
                                  {1, "int", "m_SubsoundIndex"},
                                  {1, "UInt32", "m_Flags"},
                                  {1, "StreamedResource", "m_Resource"},
                                  {2, "string", "m_Source", true},
                                  {2, "UInt64", "m_Offset"},
                                  {2, "UInt64", "m_Size"},
                                  {1, "int", "m_CompressionFormat"}});
    struct Case {
        const char* engine;
        bool ambisonic;
        const TypeTree* tree;
    };
    for (const Case& c : {Case{"5.6.0f3", false, nullptr}, Case{"2017.1.0f3", true, nullptr},
                          Case{"2022.3.9f1", true, nullptr}, Case{"5.6.0f3", true, &tree}}) {
        SCOPED_TRACE(c.engine + std::string(c.tree ? " with a tree" : ""));
        fuzz::StreamHost host;
        host.files["archive:/CAB-1/CAB-1.resource"] = file;
        const TestContext context(c.engine, "clip", c.tree, &host);
        AudioSession session;
        session.SetContext(&context.context);
        const Bytes body =
            LaterClipBody(c.ambisonic, 1, 32000, "archive:/CAB-1/CAB-1.resource", 40, bank.size());
        session.Load(body);
        ASSERT_FALSE(session.damaged()) << session.error();
        const audio::StreamedSound& sound = *session.streamed();
        EXPECT_EQ(sound.clip.frequency, 32000);
        EXPECT_EQ(sound.clip.length, 2.0f);
        ASSERT_NE(sound.Sample(), nullptr) << sound.bankError;
        EXPECT_EQ(sound.Sample()->frames, 500u);
        EXPECT_EQ(session.Export(u"fsb"), bank);
        EXPECT_FALSE(session.Export(u"wav"));
        EXPECT_NE(host.report.find("Vorbis"), std::string::npos) << host.report;
        EXPECT_FALSE(session.Import(PcmWav(1, 32000, 16, 4), u"wav"));
        EXPECT_NE(host.report.find("resource file"), std::string::npos) << host.report;
        EXPECT_EQ(session.Body(), body);
    }
}

TEST(StreamedClip, DamagedClipsAndResourcesAreRefusedSayingWhich) {
    const Bytes bank = BuildSoundBank(2, {{44100, 1, 16, SineFrames(1, 16, 2), "", {}}}).bytes;
    const std::uint64_t size = bank.size();
    Bytes cut = LaterClipBody(true, 1, 44100, "a.resource", 0, size);
    cut.resize(cut.size() - 3);
    struct Case {
        Bytes body;
        const char* said;
        bool damaged;  // the fields themselves do not read
    };
    const Case cases[] = {
        {cut, "does not read through", true},
        {LaterClipBody(true, 1, 44100, "b.resource", 0, size), "\"b.resource\"", false},
        {LaterClipBody(true, 1, 44100, "a.resource", 8, size), "lies outside", false},
        {LaterClipBody(true, 1, 44100, "a.resource", ~0ull, size), "lies outside", false},
        {LaterClipBody(true, 1, 44100, "", 0, 0), "names no resource file", false},
        {LaterClipBody(true, 1, 44100, "a.resource", 4, size - 4), "not an FSB5", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        fuzz::StreamHost host;
        host.files["a.resource"] = bank;
        const TestContext context("2019.4.26f1", "clip", nullptr, &host);
        AudioSession session;
        session.SetContext(&context.context);
        session.Load(c.body);
        EXPECT_EQ(session.damaged(), c.damaged);
        const std::string message = c.damaged ? session.error() : session.streamed()->bankError;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
        EXPECT_FALSE(session.Export(u"fsb"));
        EXPECT_EQ(host.report, message);
        EXPECT_EQ(session.Body().has_value(), !c.damaged);
    }
}

}  // namespace
}  // namespace kestrova::testing
