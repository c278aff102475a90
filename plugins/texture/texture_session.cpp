#include "plugins/texture/texture_session.h"

#include "plugins/support/entry_point_support.h"
#include "plugins/support/long_conversion.h"
#include "plugins/texture/texture_png.h"

namespace kestrova::texture {

namespace {

constexpr char kPng[] = "png";

}  // namespace

void TextureSession::Load(ByteSpan body) {
    // Copied first: when the copy fails, what was held stays.
    Bytes copy(body.begin(), body.end());
    body_ = std::move(copy);
    view_ = nullptr;
}

void TextureSession::Detach(const TextureMessages* view) {
    if (view_ == view) {
        view_ = nullptr;
    }
}

std::optional<ByteSpan> TextureSession::Body() const {
    if (!body_) {
        return std::nullopt;
    }
    return ByteSpan(*body_);
}

std::optional<Bytes> TextureSession::Export(const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kPng)) {
        return std::nullopt;
    }
    // Decoding and compressing a large picture takes a while: the window answers meanwhile.
    Conversion png;
    if (!plugin::RunLongConversion([&] { png = ExportPng(body()); }) || !png.ok()) {
        return std::nullopt;
    }
    return std::move(png.bytes);
}

std::optional<Bytes> TextureSession::Import(ByteSpan file, const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kPng)) {
        return std::nullopt;
    }
    // Encoding a large picture with its mip chain takes seconds: the window answers meanwhile.
    Conversion imported;
    if (!plugin::RunLongConversion([&] { imported = ImportPng(body(), file); })) {
        imported.problem = "The import was cancelled; the texture is unchanged.";
    }
    if (!imported.ok()) {
        if (view_ != nullptr) {
            view_->Refused(imported.problem);
        }
        return std::nullopt;
    }
    return std::move(imported.bytes);
}

}  // namespace kestrova::texture
