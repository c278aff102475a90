#pragma once
// The texture the plug-in holds between the host's calls: a copy of the body it was last handed,
// which Export and Import convert. The plug-in never changes the asset itself: an import gives
// the host a new body and leaves the held one as it was. No Qt here; the panel shows its own
// decoded copy and hears of refused imports through TextureMessages.

#include <functional>
#include <optional>
#include <string>

#include "kestrova_plugin.h"
#include "plugins/support/body_bytes.h"
#include "plugins/texture/texture_body.h"

namespace kestrova::texture {

using plugin::Bytes;
using plugin::ByteSpan;

// What the session needs of the panel that shows the texture.
class TextureMessages {
public:
    virtual ~TextureMessages() = default;
    // An import was refused; `why` says so in words for the user.
    virtual void Refused(const std::string& why) = 0;
    // Whether the user lets an import store the texture in RGBA32, `question` saying why.
    virtual bool AllowConversion(const std::string& question) = 0;
    // An import gave the asset a new body; `note` says what the user should know of it.
    virtual void Imported(const std::string& note) = 0;
};

class TextureSession {
public:
    // What the host says of the next body it hands over (a copy is kept); null forgets it.
    void SetContext(const KestrovaPluginContext* context);
    // Takes a copy of the body the host handed over; a previous panel is forgotten.
    void Load(ByteSpan body);
    // The held body read as its context describes it, streamed pixels included.
    TextureParse Parse() const { return ParseTexture(body(), context_); }

    // The held body; empty before a body was handed over.
    ByteSpan body() const { return body_ ? ByteSpan(*body_) : ByteSpan{}; }

    void Attach(TextureMessages* view) { view_ = view; }
    void Detach(const TextureMessages* view);

    bool Changed() const { return false; }
    // The body as it was handed over; nothing before a body was.
    std::optional<ByteSpan> Body() const;
    // The top level as a PNG file, for the extension "png"; nothing for another extension or a
    // body that does not hold a usable texture.
    std::optional<Bytes> Export(const char16_t* extension) const;
    // The body with the image of the PNG file `file`, for the extension "png". A file or body
    // that cannot be used is refused and the panel says why. The extension is checked before a
    // byte of `file` is read: in the "Mod" panel mode the host passes other things than files.
    // A texture in a format without an encoder becomes RGBA32 only when the host's import flags
    // allow it or the panel's user agrees; otherwise the import is refused with the reason.
    std::optional<Bytes> Import(ByteSpan file, const char16_t* extension);
    // What the user should know of the held body when it is the one the last import gave (the
    // host hands it over again to show it): that it is stored inline now, and why. Else empty.
    const std::string& ImportNote() const { return importNote_; }

private:
    static std::size_t Hash(ByteSpan bytes);

    std::optional<Bytes> body_;
    TextureContext context_;
    TextureContext next_;
    std::uint32_t importFlags_ = 0;
    std::uint32_t nextImportFlags_ = 0;
    std::function<void(const std::string&)> report_;
    std::function<void(const std::string&)> nextReport_;
    // The body the last import gave, known by its length and hash, and what to say of it.
    std::size_t lastImportLength_ = 0;
    std::size_t lastImportHash_ = 0;
    std::string lastImportNote_;
    std::string importNote_;

    // Tells the panel and the host why a conversion was refused.
    void Refuse(const std::string& why) const;
    TextureMessages* view_ = nullptr;
};

}  // namespace kestrova::texture
