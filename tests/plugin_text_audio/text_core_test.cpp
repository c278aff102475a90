// The text plug-in's core without Qt: the body, the session's conversions, the encodings.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <unordered_set>

#include "plugins/text/text_body.h"
#include "plugins/text/text_encoding.h"
#include "plugins/text/text_session.h"
#include "tests/plugin_text_audio/plugin_test_support.h"

namespace kestrova::testing {
namespace {

using text::EditorText;
using text::LineBreaks;
using text::TextEncoding;
using text::TextSession;

Bytes Copy(plugin::ByteSpan bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

// A panel as the session sees it: it holds an edited text or none, and counts reloads.
class FakeView : public text::TextView {
public:
    std::optional<Bytes> EditedText() const override { return edited; }
    void Reload() override { ++reloads; }
    std::optional<Bytes> edited;
    int reloads = 0;
};

// The later forms' samples: texts and the shaders of 5.0 round trip; a later shader's compiled
// form is refused rather than shown as a text.
TEST(TextCore, ModernShadersAndTextAssetsRoundTripOrAreRefused) {
    std::size_t refused = 0;
    for (std::uint32_t type : {0x30u, 0x31u}) {
        for (const RealAsset& asset : RealAssetsOfType(type, true)) {
            TextSession session;
            session.Load(asset.body);
            if (session.damaged()) {
                ++refused;
                EXPECT_NE(session.error().find("does not start with a text"), std::string::npos);
                EXPECT_FALSE(session.Body());
            } else {
                EXPECT_EQ(session.Import(*session.Export(u"txt"), u"txt"), asset.body)
                    << asset.file << " " << asset.name;
            }
        }
    }
    EXPECT_EQ(refused, RealDataFolder().empty() ? 0u : 1u);
}

// Where the file keeps a type tree, the text is read only when the tree puts m_Script right
// after the name and the object reads exactly through it; a new length still reads by the tree.
TEST(TextCore, TypeTreeDecidesWhetherTheBodyIsAText) {
    // Nodes of a level, a type and a name; strings align after them.
    const auto TreeOf = [](std::vector<std::tuple<std::uint8_t, const char*, const char*>> nodes) {
        TypeTree tree;
        for (const auto& [level, type, name] : nodes) {
            tree.nodes.emplace_back().level = level;
            tree.nodes.back().type = type;
            tree.nodes.back().name = name;
            tree.nodes.back().metaFlag = std::string(type) == "string" ? kAlignAfterField : 0;
        }
        return tree;
    };
    const TypeTree script =
        TreeOf({{0, "TextAsset", "Base"}, {1, "string", "m_Name"}, {1, "string", "m_Script"}});
    TypeTree withPath = script;
    withPath.nodes.push_back(TreeOf({{1, "string", "m_PathName"}}).nodes[0]);
    const TypeTree compiled = TreeOf({{0, "Shader", "Base"},
                                      {1, "string", "m_Name"},
                                      {1, "Parsed", "m_ParsedForm"},
                                      {2, "int", "m_Count"},
                                      {2, "string", "m_Script"}});
    const Bytes path = TextBodyOf("Assets/a.txt");
    for (const auto& [tree, body, refusal] :
         {std::tuple(&script, TextBodyOf("abc"), ""),
          {&withPath, TextBodyOf("text", path), ""},
          {&script, TextBodyOf("text", path), "does not read through its type tree"},
          {&withPath, TextBodyOf("text"), "does not read through its type tree"},
          {&compiled, TextBodyOf("", TextBodyOf("source")), "keeps no text (m_Script)"}}) {
        SCOPED_TRACE(refusal);
        fuzz::StreamHost host;
        const TestContext context("2021.3.18f1", "asset", tree, host);
        TextSession session;
        session.SetContext(&context.context);
        session.Load(body);
        EXPECT_EQ(session.damaged(), *refusal != 0);
        EXPECT_NE(session.error().find(refusal), std::string::npos) << session.error();
        const std::optional<Bytes> rebuilt = session.Import(AsBytes("a longer text"), u"txt");
        if (session.damaged() || !rebuilt) {
            EXPECT_FALSE(rebuilt || session.Body());
            continue;
        }
        session.SetContext(&context.context);
        session.Load(*rebuilt);
        EXPECT_EQ(session.Export(u"txt"), AsBytes("a longer text")) << session.error();
    }
}

TEST(TextCore, EveryRealShaderAndTextAssetRoundTripsThroughExportAndImport) {
    if (RealDataFolder().empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    std::map<std::string, int> perFile;
    for (std::uint32_t type : {0x30u, 0x31u}) {
        for (const RealAsset& asset : RealAssetsOfType(type)) {
            SCOPED_TRACE(asset.file + " " + asset.name);
            ++perFile[asset.file];
            TextSession session;
            session.Load(asset.body);
            ASSERT_FALSE(session.damaged()) << session.error();
            const std::optional<Bytes> exported = session.Export(u"txt");
            ASSERT_TRUE(exported);
            EXPECT_EQ(*exported, Bytes(asset.body.begin() + 4,
                                       asset.body.begin() + 4 + GetLittle32(asset.body, 0)));
            EXPECT_EQ(session.Import(*exported, u"txt"), asset.body);
            EXPECT_FALSE(session.Changed());
            // The editor gives every text back unchanged, in each encoding it can show it in.
            for (TextEncoding encoding : {TextEncoding::Latin1, TextEncoding::Utf8}) {
                const std::optional<EditorText> shown = text::ForEditor(*exported, encoding);
                if (shown && shown->editable) {
                    EXPECT_EQ(text::FromEditor(shown->text, encoding, shown->breaks).bytes,
                              *exported);
                }
            }
        }
    }
    EXPECT_EQ(perFile["ld24_EvilTestsWin32_unity_default_resources"], 71);
    EXPECT_EQ(perFile["ld24_EvilTestsWin32_sharedassets1.assets"], 1);
}

TEST(TextCore, DamagedBodiesAreRefusedAndNeverWrittenBack) {
    Bytes huge;
    PutLittle32(huge, 0xFFFFFFFFu);
    huge.resize(64, 'x');
    Bytes justPast = TextBodyOf("abcdefgh");
    justPast[0] = 9;
    const Bytes damaged[] = {{}, {5, 0, 0}, justPast, huge, Bytes{0xFF, 0xFF, 0xFF, 0x7F}};
    for (const Bytes& body : damaged) {
        SCOPED_TRACE(::testing::PrintToString(body.size()));
        text::TextBody parsed;
        std::string error;
        EXPECT_FALSE(text::ParseTextBody(body, parsed, error));
        EXPECT_FALSE(error.empty());
        TextSession session;
        session.Load(body);
        EXPECT_TRUE(session.damaged());
        EXPECT_FALSE(session.Export(u"txt"));
        EXPECT_FALSE(session.Import(AsBytes("new"), u"txt"));
        EXPECT_FALSE(session.Changed());
        EXPECT_FALSE(session.Body());
    }
}

TEST(TextCore, PaddingIsRebuiltForANewLengthAndTheRestIsKept) {
    const Bytes rest = {'R', 'E', 'S', 'T', 0, 1};
    text::TextBody parsed;
    std::string error;
    const Bytes body = TextBodyOf("hello", rest);
    ASSERT_TRUE(text::ParseTextBody(body, parsed, error));
    EXPECT_EQ(Copy(parsed.rest), rest);
    EXPECT_EQ(text::BuildTextBody(parsed, AsBytes("hi")), TextBodyOf("hi", rest));
    EXPECT_EQ(text::BuildTextBody(parsed, AsBytes("")), TextBodyOf("", rest));
    EXPECT_EQ(text::BuildTextBody(parsed, AsBytes("12345678")), TextBodyOf("12345678", rest));

    // Bytes as stored come back as stored while the length stays: odd padding, or a body that
    // ends inside its padding.
    for (Bytes odd : {Bytes{5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 7, 0, 9, 'x'},
                      Bytes{5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0}}) {
        ASSERT_TRUE(text::ParseTextBody(odd, parsed, error));
        EXPECT_EQ(text::BuildTextBody(parsed, parsed.text.bytes), odd);
        EXPECT_EQ(text::BuildTextBody(parsed, AsBytes("hey")).size() % 4,
                  Copy(parsed.rest).size() % 4);
    }
}

TEST(TextCore, SessionTakesEditsFromItsPanelAndKeepsThemWhenThePanelGoes) {
    const Bytes rest = {1, 2, 3, 4};
    TextSession session;
    EXPECT_FALSE(session.Export(u"txt"));  // nothing handed over yet
    EXPECT_FALSE(session.Import(AsBytes("x"), u"txt"));
    EXPECT_FALSE(session.Body());
    session.Load(TextBodyOf("Shader \"A\" {}", rest));
    FakeView view;
    session.Attach(&view);
    EXPECT_FALSE(session.Changed());
    EXPECT_EQ(session.Body(), TextBodyOf("Shader \"A\" {}", rest));

    view.edited = AsBytes("Shader \"B\" { }");
    EXPECT_TRUE(session.Changed());
    EXPECT_EQ(session.Body(), TextBodyOf("Shader \"B\" { }", rest));
    EXPECT_EQ(session.Export(u"TXT"), AsBytes("Shader \"B\" { }"));
    EXPECT_FALSE(session.Export(u"tx"));
    EXPECT_FALSE(session.Export(u"txt2"));
    EXPECT_FALSE(session.Export(nullptr));

    session.Detach(&view);
    view.edited = AsBytes("not seen");
    EXPECT_TRUE(session.Changed());
    EXPECT_EQ(session.Export(u"txt"), AsBytes("Shader \"B\" { }"));

    // An import becomes the stored text; the panel is told to show it.
    session.Attach(&view);
    view.edited.reset();
    EXPECT_EQ(session.Import(AsBytes("imported"), u"txt"), TextBodyOf("imported", rest));
    EXPECT_EQ(view.reloads, 1);
    EXPECT_FALSE(session.Changed());
    EXPECT_EQ(Copy(session.storedText()), AsBytes("imported"));
    EXPECT_FALSE(session.Import(AsBytes("x"), u"46"));  // a path id, as the "Mod" mode passes

    session.Load(TextBodyOf("fresh"));
    EXPECT_FALSE(session.Changed());
    view.edited = AsBytes("a panel of the old asset");
    EXPECT_FALSE(session.Changed());
}

// The UTF-8 forms of every scalar value up to U+FFFF, built by the plain encoder, as numbers:
// the bytes in order, below a marker bit that tells their count.
std::uint32_t FormKey(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t key = 1;
    for (std::size_t k = 0; k < length; ++k) {
        key = (key << 8) | bytes[k];
    }
    return key;
}

// Whether `bytes` split into such forms; being prefix-free, they split in one way at most.
bool ReferenceValid(const Bytes& bytes, const std::unordered_set<std::uint32_t>& forms) {
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 1;
        while (at + length <= bytes.size() && !forms.count(FormKey(&bytes[at], length))) {
            ++length;
        }
        if (at + length > bytes.size()) {
            return false;
        }
        at += length;
    }
    return true;
}

TEST(TextEncoding, Utf8CheckAgreesWithAReferenceOnEverySequenceOfUpToThreeBytes) {
    std::unordered_set<std::uint32_t> forms;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            const Bytes form =
                text::Encode(std::u16string(1, static_cast<char16_t>(c)), TextEncoding::Utf8).bytes;
            forms.insert(FormKey(form.data(), form.size()));
        }
    }
    ASSERT_EQ(forms.size(), 0x10000u - 0x800u);
    Bytes bytes;
    for (std::size_t length = 1; length <= 3; ++length) {
        for (std::uint32_t n = 0; n < (1u << (8 * length)); ++n) {
            bytes.assign(length, 0);
            for (std::size_t k = 0; k < length; ++k) {
                bytes[k] = static_cast<std::uint8_t>(n >> (8 * (length - 1 - k)));
            }
            ASSERT_EQ(text::IsValidUtf8(bytes), ReferenceValid(bytes, forms))
                << ::testing::PrintToString(bytes);
        }
    }
    // Four-byte forms: the first and last scalar values above U+FFFF, and what lies beyond.
    EXPECT_TRUE(text::IsValidUtf8(Bytes{0xF0, 0x90, 0x80, 0x80}));
    EXPECT_TRUE(text::IsValidUtf8(Bytes{0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_FALSE(text::IsValidUtf8(Bytes{0xF4, 0x90, 0x80, 0x80}));
    EXPECT_FALSE(text::IsValidUtf8(Bytes{0xF0, 0x8F, 0xBF, 0xBF}));
    EXPECT_FALSE(text::IsValidUtf8(Bytes{0xF0, 0x90, 0x80}));
}

TEST(TextEncoding, Latin1KeepsEveryByteAndUtf8KeepsEveryValidText) {
    Bytes all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<std::uint8_t>(b));
    }
    const std::optional<std::u16string> latin1 = text::Decode(all, TextEncoding::Latin1);
    ASSERT_TRUE(latin1);
    EXPECT_EQ((*latin1)[0xE9], u'\u00E9');
    EXPECT_EQ(text::Encode(*latin1, TextEncoding::Latin1).bytes, all);
    EXPECT_FALSE(text::Decode(all, TextEncoding::Utf8));

    const Bytes utf8 = AsBytes(
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE4\xB8\x96 \xF0\x9F\x98\x80\r\nend\r\n");
    const std::optional<EditorText> shown = text::ForEditor(utf8, TextEncoding::Utf8);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, u"Grüße 世 😀\nend\n");
    EXPECT_EQ(shown->breaks, LineBreaks::CrLf);
    EXPECT_EQ(text::FromEditor(shown->text, TextEncoding::Utf8, shown->breaks).bytes, utf8);
    // The same bytes seen as Latin-1 are other characters that store as the same bytes.
    const std::optional<EditorText> asLatin1 = text::ForEditor(utf8, TextEncoding::Latin1);
    ASSERT_TRUE(asLatin1);
    EXPECT_EQ(asLatin1->text.substr(0, 4), u"GrÃ¼");
    EXPECT_EQ(text::FromEditor(asLatin1->text, TextEncoding::Latin1, asLatin1->breaks).bytes, utf8);
}

TEST(TextEncoding, CharactersAnEncodingCannotStoreAreCountedAndStoredAsQuestionMarks) {
    const text::EncodedText latin1 = text::Encode(u"5 € or 5 £", TextEncoding::Latin1);
    EXPECT_EQ(latin1.unstorable, 1u);
    EXPECT_EQ(latin1.bytes, AsBytes("5 ? or 5 \xA3"));
    std::u16string lone = u"a";
    lone.push_back(static_cast<char16_t>(0xD83D));
    lone += u"b";
    lone.push_back(static_cast<char16_t>(0xDE00));
    const text::EncodedText utf8 = text::Encode(lone, TextEncoding::Utf8);
    EXPECT_EQ(utf8.unstorable, 2u);
    EXPECT_EQ(utf8.bytes, AsBytes("a?b?"));
    EXPECT_EQ(text::CountUnstorable(lone, TextEncoding::Utf8), 2u);
    EXPECT_EQ(text::CountUnstorable(u"5 € or 5 £", TextEncoding::Latin1), 1u);
}

TEST(TextEncoding, LineBreaksOfOneKindAreKeptThroughEditsAndMixedOnesMakeTheTextReadOnly) {
    struct Case {
        const char* bytes;
        LineBreaks breaks;
        bool editable;
        const char* afterNewLine;  // the text with a line added in the editor
    };
    const Case cases[] = {
        {"a\nb", LineBreaks::Lf, true, "a\nb\nc"},
        {"a\r\nb", LineBreaks::CrLf, true, "a\r\nb\r\nc"},
        {"a\rb", LineBreaks::Cr, true, "a\rb\rc"},
        {"ab", LineBreaks::Lf, true, "ab\nc"},
        {"a\r\nb\n", LineBreaks::Mixed, false, nullptr},
        {"a\rb\n", LineBreaks::Mixed, false, nullptr},
        {"a\xE2\x80\xA9"
         "b",
         LineBreaks::Lf, false, nullptr},  // U+2029 in UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::optional<EditorText> shown =
            text::ForEditor(AsBytes(c.bytes), TextEncoding::Utf8);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->breaks, c.breaks);
        EXPECT_EQ(shown->editable, c.editable);
        if (!c.editable) {
            continue;
        }
        EXPECT_EQ(shown->text.find(u'\r'), std::u16string::npos);
        EXPECT_EQ(text::FromEditor(shown->text + u"\nc", TextEncoding::Utf8, shown->breaks).bytes,
                  AsBytes(c.afterNewLine));
    }
    // The editor's line break within a paragraph (Shift+Enter) is a line break too.
    EXPECT_EQ(text::FromEditor(u"a\u2028b", TextEncoding::Latin1, LineBreaks::CrLf).bytes,
              AsBytes("a\r\nb"));
}

}  // namespace
}  // namespace kestrova::testing
