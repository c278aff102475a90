#include "plugins/texture/texture_session.h"

#include <functional>
#include <string_view>
#include <utility>

#include "plugins/support/entry_point_support.h"
#include "plugins/support/long_conversion.h"
#include "plugins/texture/texture_codec.h"
#include "plugins/texture/texture_fields.h"
#include "plugins/texture/texture_png.h"

namespace kestrova::texture {

namespace {

constexpr char kPng[] = "png";
constexpr std::uint32_t kRgba32 = 4;

}  // namespace

void TextureSession::SetContext(const KestrovaPluginContext* context) {
    next_ = {};
    nextImportFlags_ = 0;
    nextReport_ = nullptr;
    if (context == nullptr || !KESTROVA_CONTEXT_HAS(context, report)) {
        return;
    }
    next_ = TextureContextOf(*context);
    if (context->report != nullptr) {
        nextReport_ = [host = context->host, report = context->report](const std::string& text) {
            report(host, text.c_str());
        };
    }
    if (KESTROVA_CONTEXT_HAS(context, importFlags)) {
        nextImportFlags_ = context->importFlags;
    }
}

void TextureSession::Load(ByteSpan body) {
    // Copied first: when the copy fails, what was held stays.
    Bytes copy(body.begin(), body.end());
    body_ = std::move(copy);
    view_ = nullptr;
    context_ = std::exchange(next_, {});
    importFlags_ = std::exchange(nextImportFlags_, 0);
    report_ = std::exchange(nextReport_, nullptr);
    const bool imported = !lastImportNote_.empty() && body_->size() == lastImportLength_ &&
                          Hash(*body_) == lastImportHash_;
    importNote_ = imported ? lastImportNote_ : std::string();
}

std::size_t TextureSession::Hash(ByteSpan bytes) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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

void TextureSession::Refuse(const std::string& why) const {
    if (view_ != nullptr) {
        view_->Refused(why);
    }
    if (report_) {
        report_(why);
    }
}

std::optional<Bytes> TextureSession::Export(const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kPng)) {
        return std::nullopt;
    }
    // Decoding and compressing a large picture takes a while: the window answers meanwhile.
    const TextureParse parsed = Parse();
    Conversion png;
    if (!plugin::RunLongConversion([&] { png = ExportPng(parsed); })) {
        return std::nullopt;  // cancelled
    }
    if (!png.ok()) {
        Refuse(png.problem);
        return std::nullopt;
    }
    return std::move(png.bytes);
}

std::optional<Bytes> TextureSession::Import(ByteSpan file, const char16_t* extension) {
    if (!plugin::ExtensionIs(extension, kPng)) {
        return std::nullopt;
    }
    const TextureParse parsed = Parse();
    const FormatInfo* as = nullptr;
    if (parsed.usable() && !CanEncode(*parsed.texture.format)) {
        const std::string format = parsed.texture.format->name;
        const std::string question = "Images cannot be encoded into " + format +
                                     " here. Store the texture as RGBA32 (uncompressed, " +
                                     "larger) to take the new image?";
        const bool allowed = (importFlags_ & KESTROVA_IMPORT_MAY_CONVERT_FORMAT) != 0 ||
                             (view_ != nullptr && view_->AllowConversion(question));
        if (!allowed) {
            Refuse("Images cannot be encoded into " + format +
                   " here; the texture can take a new image stored as RGBA32 instead "
                   "(kestrova-cli: import with --convert-format).");
            return std::nullopt;
        }
        as = FindFormat(kRgba32);
    }
    // Encoding a large picture with its mip chain takes seconds: the window answers meanwhile.
    Conversion imported;
    if (!plugin::RunLongConversion([&] { imported = ImportPng(parsed, file, as); })) {
        imported.problem = "The import was cancelled; the texture is unchanged.";
    }
    if (!imported.ok()) {
        Refuse(imported.problem);
        return std::nullopt;
    }
    // Worth saying when the texture no longer streams or changed its format.
    std::string note;
    if (parsed.texture.isStreamed()) {
        note =
            "The new image is stored inline in the asset; once saved, the file no longer "
            "needs " +
            parsed.texture.stream.path + ".";
    }
    if (as != nullptr) {
        note += (note.empty() ? "" : " ") + std::string("The texture is now RGBA32 (it was ") +
                parsed.texture.format->name + ").";
    }
    lastImportNote_ = note;
    lastImportLength_ = imported.bytes.size();
    lastImportHash_ = Hash(imported.bytes);
    if (view_ != nullptr && !note.empty()) {
        view_->Imported(note);
    }
    return std::move(imported.bytes);
}

}  // namespace kestrova::texture
