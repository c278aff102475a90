#include "plugins/text/text_body.h"

namespace kestrova::text {

bool ParseTextBody(ByteSpan body, TextBody& out, std::string& error) {
    ByteReader reader(body);
    TextBody parsed;
    if (!plugin::ReadAlignedBlock(reader, "text", parsed.text, error)) {
        return false;
    }
    parsed.rest = reader.TakeRest();
    out = parsed;
    return true;
}

Bytes BuildTextBody(const TextBody& stored, ByteSpan text) {
    Bytes body;
    body.reserve(4 + text.size() + 3 + stored.rest.size());
    plugin::AppendAlignedBlock(body, text, stored.text);
    PutBytes(body, stored.rest);
    return body;
}

}  // namespace kestrova::text
