#pragma once
// The asset the hex plug-in holds between the host's calls: its bytes in a document of their own,
// apart from the panel, so that the host may destroy the panel whenever it likes and still ask
// afterwards whether the bytes changed and for the changed bytes. The one data type, "bin", is
// the bytes as they are. No Qt here.

#include <memory>
#include <optional>

#include "hex_document.h"
#include "plugins/support/body_bytes.h"

namespace kestrova::hex {

using plugin::ByteSpan;

class HexSession {
public:
    // Takes a copy of the bytes the host handed over; the previous asset's edits are forgotten.
    void Load(ByteSpan body);

    // Shared with the panel, which edits it.
    const std::shared_ptr<HexDocument>& document() const { return document_; }

    bool Changed() const { return document_ != nullptr && document_->changed(); }
    // The bytes as edited; nothing before an asset was handed over.
    std::optional<ByteSpan> Body() const;
    // The bytes as edited, for the extension "bin".
    std::optional<ByteSpan> Export(const char16_t* extension) const;
    // `file` as it is, for the extension "bin", whatever the asset holds. The extension is checked
    // before a byte of `file` is read: in the "Mod" panel mode the host passes other things.
    std::optional<ByteSpan> Import(ByteSpan file, const char16_t* extension) const;

private:
    std::shared_ptr<HexDocument> document_;
};

}  // namespace kestrova::hex
