#pragma once
// Texture2D bodies of the later engine versions, read through a type tree (the file's own, or
// the engine version's layout for player files that keep none) and written back with a new
// image, every other field kept as it was. The pixels lie in the object's "image data" or, when
// that is empty, in the resource file that m_StreamData names.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kestrova_plugin.h"
#include "plugins/texture/texture_body.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::texture {

// The object read through its fields, kept so that it can be written back.
struct FieldTexture {
    FieldLayout layout;
    std::vector<std::uint8_t> object;  // the name prefix, then the body
    std::size_t prefixLength = 0;
    ByteOrder order = ByteOrder::Little;
};

// What the host's plug-in context says of the asset, copied: its tree checked, its name prefix,
// and its readStream bound to the host (valid until the host's next context).
TextureContext TextureContextOf(const KestrovaPluginContext& context);

// Whether `context` calls for the field reader: the file keeps a tree for the class (or one the
// host could not give), or the engine version is 5.2 or later.
bool UsesFieldLayout(const TextureContext& context);

TextureParse ParseFieldTexture(std::span<const std::uint8_t> body, const TextureContext& context);

// The body of `texture` with `header`'s sides, complete image size, format and mip count, one
// image of `imageData` stored inline, and m_StreamData cleared (offset 0, size 0, no path), so
// that it no longer needs a resource file.
std::vector<std::uint8_t> WriteFieldTexture(const FieldTexture& texture,
                                            const TextureHeader& header,
                                            std::span<const std::uint8_t> imageData);

}  // namespace kestrova::texture
