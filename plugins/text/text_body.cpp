#include "plugins/text/text_body.h"

#include <algorithm>

namespace kestrova::text {

namespace {

// A path text field after the text: a length and at most 255 bytes with padding.
constexpr std::size_t kLongestPathField = 260;

}  // namespace

bool ParseTextBody(ByteSpan body, TextBody& out, std::string& error) {
    ByteReader reader(body);
    TextBody parsed;
    if (!plugin::ReadAlignedBlock(reader, "text", parsed.text, error)) {
        return false;
    }
    parsed.rest = reader.TakeRest();
    // A later engine's Shader keeps its compiled form, which starts with counts, not a text: what
    // would be read as the text holds zero bytes, and far more follows it than the path field
    // that may follow a text. (An empty text stays readable: the sample games' unnamed shader
    // keeps its name's empty length word in the body.)
    const ByteSpan text = parsed.text.bytes;
    const bool holdsZero = std::find(text.begin(), text.end(), std::uint8_t{0}) != text.end();
    if (holdsZero && parsed.rest.size() > std::max(text.size(), kLongestPathField)) {
        error = "This body does not start with a text: it holds " + std::to_string(body.size()) +
                " bytes of a form this plug-in does not read (a later engine version's shader).";
        return false;
    }
    out = parsed;
    return true;
}

std::optional<std::string> CheckTextFieldByTree(ByteSpan object, std::size_t prefixLength,
                                                const TypeTree& tree, ByteOrder order) {
    std::string error;
    const std::optional<FieldLayout> layout = FieldLayout::Compile(tree, error);
    if (!layout) {
        return "The asset's type tree cannot be read: " + error;
    }
    const FieldReader reader(*layout, object, order);
    if (std::optional<FieldError> wrong = reader.Check()) {
        return "The asset does not read through its type tree: " + wrong->Text();
    }
    const FieldAt root = reader.Root();
    if (reader.Node(root).kind == FieldKind::Struct) {
        for (const FieldAt field : reader.Members(root)) {
            if (field.offset < prefixLength) {
                continue;  // the name
            }
            const FieldNode& node = reader.Node(field);
            if (field.offset == prefixLength && node.name == "m_Script" &&
                (node.kind == FieldKind::String || node.kind == FieldKind::Bytes)) {
                return std::nullopt;
            }
            break;
        }
    }
    return "By its type tree this asset keeps no text (m_Script) after its name: in this engine "
           "version it holds " +
           std::to_string(object.size()) + " bytes of a form this plug-in does not read.";
}

Bytes BuildTextBody(const TextBody& stored, ByteSpan text) {
    Bytes body;
    body.reserve(4 + text.size() + 3 + stored.rest.size());
    plugin::AppendAlignedBlock(body, text, stored.text);
    PutBytes(body, stored.rest);
    return body;
}

}  // namespace kestrova::text
