// AudioClips of engine 5 and later in the audio session: their fields read by the engine version
// or through a type tree, their sound bank read from the resource file through the host's reader,
// exported as .fsb and .wav; imports refused; missing and short resource files named.

#include <gtest/gtest.h>

#include "plugins/audio/audio_session.h"
#include "tests/plugin_text_audio/plugin_test_support.h"
#include "tests/plugin_text_audio/sound_bank_builder.h"

namespace kestrova::testing {
namespace {

using audio::AudioSession;
using audio::BankCodec;

// Loads `body` into `session` with a context of `engine`, the name prefix of `name` and, when
// given, a type tree.
void Load(AudioSession& session, MemoryHost& host, const std::string& engine,
          const std::string& name, const Bytes& body, const TypeTree* tree = nullptr) {
    const TestContext context(engine, name, tree, &host, &MemoryHost::Read, &MemoryHost::Report);
    session.SetContext(&context.context);
    session.Load(body);
}

TEST(StreamedClip, RealClipReadsByItsEngineVersionAndExportsItsBank) {
    const std::optional<RealAsset> clip =
        RealBundleAsset("modern/gamecode8_u2020322/data.unity3d", "sharedassets0.assets", 8);
    if (!clip) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    EXPECT_EQ(clip->name, "The Last of Us");
    MemoryHost host;
    AudioSession session;
    Load(session, host, clip->engineVersion, clip->name, clip->body);
    ASSERT_FALSE(session.damaged()) << session.error();
    ASSERT_TRUE(session.streamed());
    const audio::StreamedClip& fields = session.streamed()->clip;
    EXPECT_EQ(fields.channels, 2);
    EXPECT_EQ(fields.frequency, 44100);
    EXPECT_EQ(fields.source, "sharedassets0.resource");
    // The resource file is not among the real files: the panel and the exports say so.
    EXPECT_NE(session.streamed()->bankError.find("\"sharedassets0.resource\""), std::string::npos);
    EXPECT_FALSE(session.Export(u"fsb"));
    EXPECT_NE(host.report.find("missing"), std::string::npos) << host.report;
    EXPECT_EQ(session.Body(), clip->body);

    // With a bank of the size the clip names there: exported as it is, its sample as WAV.
    const std::uint64_t frames = (fields.size - 0x3C - 8) / 4;
    const BuiltBank bank = BuildSoundBank(static_cast<std::uint32_t>(BankCodec::Pcm16),
                                          {{44100, 2, frames, SineFrames(2, frames, 2), "", {}}});
    ASSERT_EQ(bank.bytes.size(), fields.size);
    host.files[fields.source] = bank.bytes;
    Load(session, host, clip->engineVersion, clip->name, clip->body);
    ASSERT_EQ(session.streamed()->bankError, "");
    EXPECT_EQ(session.Export(u"fsb"), bank.bytes);
    const std::optional<Bytes> wav = session.Export(u"wav");
    ASSERT_TRUE(wav);
    EXPECT_TRUE(std::equal(bank.bytes.begin() + static_cast<std::ptrdiff_t>(bank.dataStart),
                           bank.bytes.end(), wav->begin() + 44, wav->end()));
    EXPECT_FALSE(session.Export(u"ogg"));
    // A bank cut short of the range the clip names.
    host.files[fields.source].pop_back();
    Load(session, host, clip->engineVersion, clip->name, clip->body);
    EXPECT_NE(session.streamed()->bankError.find("lies outside"), std::string::npos);
}

TEST(StreamedClip, FieldsReadByEngineVersionOrTypeTreeAndImportsAreRefused) {
    const BuiltBank bank = BuildSoundBank(static_cast<std::uint32_t>(BankCodec::Vorbis),
                                          {{32000, 1, 500, Bytes(300, 7), "", {}}});
    Bytes file(40, 0xEE);  // the bank at an offset inside its resource file
    file.insert(file.end(), bank.bytes.begin(), bank.bytes.end());
    // A tree that names a field the version would not have: the tree wins.
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
        MemoryHost host;
        host.files["archive:/CAB-1/CAB-1.resource"] = file;
        AudioSession session;
        const Bytes body = LaterClipBody(c.ambisonic, 1, 32000, "archive:/CAB-1/CAB-1.resource", 40,
                                         bank.bytes.size());
        Load(session, host, c.engine, "clip", body, c.tree);
        ASSERT_FALSE(session.damaged()) << session.error();
        const audio::StreamedSound& sound = *session.streamed();
        EXPECT_EQ(sound.clip.frequency, 32000);
        EXPECT_EQ(sound.clip.length, 2.0f);
        EXPECT_EQ(sound.clip.compressionFormat, 2);
        ASSERT_NE(sound.Sample(), nullptr) << sound.bankError;
        EXPECT_EQ(sound.Sample()->frames, 500u);
        EXPECT_EQ(session.Export(u"fsb"), bank.bytes);
        EXPECT_FALSE(session.Export(u"wav"));
        EXPECT_NE(host.report.find("Vorbis"), std::string::npos) << host.report;
        EXPECT_FALSE(session.Import(PcmWav(1, 32000, 16, 4), u"wav"));
        EXPECT_NE(host.report.find("resource file"), std::string::npos) << host.report;
        EXPECT_EQ(session.Body(), body);
    }
}

TEST(StreamedClip, DamagedClipsAndResourcesAreRefusedSayingWhich) {
    const BuiltBank bank = BuildSoundBank(static_cast<std::uint32_t>(BankCodec::Pcm16),
                                          {{44100, 1, 16, SineFrames(1, 16, 2), "", {}}});
    struct Case {
        const char* what;
        Bytes body;
        const char* said;
        bool damaged;  // the fields themselves do not read
    };
    const std::uint64_t size = bank.bytes.size();
    Bytes cut = LaterClipBody(true, 1, 44100, "a.resource", 0, size);
    cut.resize(cut.size() - 3);
    const Case cases[] = {
        {"fields cut short", cut, "does not read through", true},
        {"missing file", LaterClipBody(true, 1, 44100, "b.resource", 0, size), "\"b.resource\"",
         false},
        {"range past the file", LaterClipBody(true, 1, 44100, "a.resource", 8, size),
         "lies outside", false},
        {"range beyond 64 bits", LaterClipBody(true, 1, 44100, "a.resource", ~0ull, size),
         "lies outside", false},
        {"no source", LaterClipBody(true, 1, 44100, "", 0, 0), "names no resource file", false},
        {"not a bank", LaterClipBody(true, 1, 44100, "a.resource", 4, size - 4), "not an FSB5",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryHost host;
        host.files["a.resource"] = bank.bytes;
        AudioSession session;
        Load(session, host, "2019.4.26f1", "clip", c.body);
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
