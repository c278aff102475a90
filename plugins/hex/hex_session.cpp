#include "hex_session.h"

#include <vector>

#include "plugins/support/entry_point_support.h"

namespace kestrova::hex {

namespace {

constexpr char kRawBytes[] = "bin";

}  // namespace

void HexSession::Load(ByteSpan body) {
    // Dropped first, so that a failure below never leaves the previous asset's edits to be taken
    // for this asset's.
    document_.reset();
    document_ = std::make_shared<HexDocument>(std::vector<std::uint8_t>(body.begin(), body.end()));
}

std::optional<ByteSpan> HexSession::Body() const {
    if (document_ == nullptr) {
        return std::nullopt;
    }
    return document_->bytes();
}

std::optional<ByteSpan> HexSession::Export(const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kRawBytes)) {
        return std::nullopt;
    }
    return Body();
}

std::optional<ByteSpan> HexSession::Import(ByteSpan file, const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kRawBytes)) {
        return std::nullopt;
    }
    return file;
}

}  // namespace kestrova::hex
