// Reads arbitrary bytes as a text body (TextAsset, Shader) and as an AudioClip body, each in the
// engine 3.x-4.x form and in the later forms (a TextAsset read through its type tree, an AudioClip
// of 2021.3 whose sound bank lies in a resource file). Whatever reads must write back to the same
// bytes while unchanged, and a body rebuilt with other content must read again as that content
// with the bytes after it kept; the text's editor view must give editable texts back unchanged,
// and an exported stream must import back to the same body. A later clip never takes an import,
// and every refusal is reported with a reason.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/support/stream_host.h"
#include "plugins/audio/audio_body.h"
#include "plugins/audio/audio_session.h"
#include "plugins/text/text_body.h"
#include "plugins/text/text_encoding.h"
#include "plugins/text/text_session.h"
#include "sdk/context_type_tree.h"

namespace {

using namespace kestrova;
using plugin::Bytes;
using plugin::ByteSpan;

// Stops the run on a broken invariant, naming it.
void Check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

bool Same(ByteSpan a, ByteSpan b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool ZeroPaddingFor(const plugin::AlignedBlock& block) {
    return block.padding.size() == PaddingFor(block.bytes.size()) &&
           std::all_of(block.padding.begin(), block.padding.end(),
                       [](std::uint8_t b) { return b == 0; });
}

// Other content for a block: one byte more, so the padding must be rebuilt.
Bytes Other(ByteSpan bytes) {
    Bytes other(bytes.begin(), bytes.end());
    other.push_back('~');
    return other;
}

void FuzzText(ByteSpan input) {
    text::TextBody body;
    std::string error;
    if (!text::ParseTextBody(input, body, error)) {
        Check(!error.empty(), "a refused text body says why");
        return;
    }
    Check(Same(text::BuildTextBody(body, body.text.bytes), input), "unchanged text body");
    const Bytes other = Other(body.text.bytes);
    const Bytes rebuilt = text::BuildTextBody(body, other);
    text::TextBody again;
    Check(text::ParseTextBody(rebuilt, again, error), "rebuilt text body reads");
    Check(Same(again.text.bytes, other), "rebuilt text");
    Check(Same(again.rest, body.rest), "rest after the text kept");
    Check(ZeroPaddingFor(again.text), "text padding rebuilt");

    for (text::TextEncoding encoding : {text::TextEncoding::Latin1, text::TextEncoding::Utf8}) {
        const std::optional<text::EditorText> shown = text::ForEditor(body.text.bytes, encoding);
        Check(shown.has_value() || encoding == text::TextEncoding::Utf8, "Latin-1 shows all");
        Check(shown.has_value() ==
                  (encoding == text::TextEncoding::Latin1 || text::IsValidUtf8(body.text.bytes)),
              "UTF-8 shown exactly when valid");
        if (shown && shown->editable) {
            const text::EncodedText stored = text::FromEditor(shown->text, encoding, shown->breaks);
            Check(stored.unstorable == 0 && Same(stored.bytes, body.text.bytes),
                  "editable text given back unchanged");
        }
    }
}

void FuzzAudio(ByteSpan input) {
    audio::AudioBody body;
    std::string error;
    audio::ReadWavInfo(input);
    if (!audio::ParseAudioBody(input, body, error)) {
        Check(!error.empty(), "a refused audio body says why");
        return;
    }
    Check(Same(audio::BuildAudioBody(body, body.soundType, body.stream.bytes), input),
          "unchanged audio body");
    const Bytes other = Other(body.stream.bytes);
    const Bytes rebuilt = audio::BuildAudioBody(body, 14, other);
    audio::AudioBody again;
    Check(audio::ParseAudioBody(rebuilt, again, error), "rebuilt audio body reads");
    Check(again.soundType == 14 && again.format == body.format && again.flags == body.flags,
          "words set and kept");
    Check(Same(again.stream.bytes, other), "rebuilt stream");
    Check(Same(again.rest, body.rest), "rest after the stream kept");
    Check(ZeroPaddingFor(again.stream), "stream padding rebuilt");
    audio::ReadWavInfo(body.stream.bytes);

    audio::AudioSession session;
    session.Load(input);
    const std::optional<audio::AudioKind> kind = session.kind();
    if (!kind) {
        return;
    }
    std::u16string extension;
    for (const char* c = audio::ExtensionOf(*kind); *c != 0; ++c) {
        extension.push_back(static_cast<char16_t>(*c));
    }
    const std::optional<Bytes> exported = session.Export(extension.c_str());
    Check(exported && Same(*exported, body.stream.bytes), "stream exported as it is");
    const std::optional<Bytes> imported = session.Import(*exported, extension.c_str());
    Check(imported.has_value() == (audio::DetectKind(*exported) == kind),
          "import takes a stream of its kind only");
    Check(!imported || Same(*imported, input), "reimported stream gives the same body");
}

void FuzzLaterText(ByteSpan input) {
    TypeTree tree;
    for (const char* name : {"m_Name", "m_Script", "m_PathName"}) {
        TypeTreeNode node;
        node.level = 1;
        node.type = "string";
        node.name = name;
        node.metaFlag = kAlignAfterField;
        tree.nodes.push_back(node);
    }
    TypeTreeNode root;
    root.type = "TextAsset";
    root.name = "Base";
    tree.nodes.insert(tree.nodes.begin(), root);
    const FlatTypeTree flat = FlattenTypeTree(tree);
    const KestrovaTypeTree view = flat.view();
    fuzz::StreamHost host;
    host.files["a.resource"].assign(input.begin(), input.end());
    const Bytes prefix = {1, 0, 0, 0, 't', 0, 0, 0};
    const KestrovaPluginContext context = host.Context("2021.3.18f1", prefix, &view);
    text::TextSession session;
    session.SetContext(&context);
    session.Load(input);
    if (session.damaged()) {
        Check(!session.error().empty() && !session.Body(), "a refused text says why");
        return;
    }
    Check(session.Body() && Same(*session.Body(), input), "unchanged text body");
    const Bytes other = Other(*session.Export(u"txt"));
    const std::optional<Bytes> rebuilt = session.Import(other, u"txt");
    Check(rebuilt.has_value(), "a text imports");
    text::TextSession again;
    again.SetContext(&context);
    again.Load(*rebuilt);
    Check(!again.damaged() && Same(*again.Export(u"txt"), other), "rebuilt text reads by its tree");
}

void FuzzLaterAudio(ByteSpan input) {
    fuzz::StreamHost host;
    host.files["a.resource"].assign(input.begin(), input.end());
    const Bytes prefix = {1, 0, 0, 0, 'c', 0, 0, 0};
    const KestrovaPluginContext context = host.Context("2021.3.18f1", prefix);
    audio::AudioSession session;
    session.SetContext(&context);
    session.Load(input);
    if (session.damaged()) {
        Check(!session.error().empty() && !session.Body(), "a refused clip says why");
        return;
    }
    Check(session.streamed() && Same(*session.Body(), input), "unchanged clip body");
    const audio::StreamedSound& sound = *session.streamed();
    Check(sound.bankError.empty() == (sound.Sample() != nullptr), "a bank or a reason");
    session.Export(u"fsb");
    session.Export(u"wav");
    Check(!session.Import(input, u"wav") && Same(*session.Body(), input), "no import");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    FuzzText(input);
    FuzzAudio(input);
    FuzzLaterText(input);
    FuzzLaterAudio(input);
    return 0;
}
