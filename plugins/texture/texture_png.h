#pragma once
// Texture bodies to and from PNG files, through Qt's image classes (no widgets, no display).

#include <cstdint>
#include <span>

#include "plugins/texture/texture_codec.h"

namespace kestrova::texture {

// The top level of the first image of the texture, upright, as a PNG file: RGBA, or RGB for a
// format without alpha.
Conversion ExportPng(const TextureParse& parsed);
Conversion ExportPng(std::span<const std::uint8_t> body);

// The texture with the image of the PNG file `png` (any size) in its own format or, given `as`,
// in that one; see ReplaceImage. A picture without alpha imported into an alpha-only texture
// gives its grey level as the alpha.
Conversion ImportPng(const TextureParse& parsed, std::span<const std::uint8_t> png,
                     const FormatInfo* as = nullptr);
Conversion ImportPng(std::span<const std::uint8_t> body, std::span<const std::uint8_t> png);

// The PNG's pixels as straight RGBA, rows top to bottom; `hasAlpha` tells whether the file has
// an alpha channel. Refuses files that are no PNG or whose sides exceed kMaxSide before
// decoding them.
Conversion ReadPng(std::span<const std::uint8_t> png, RgbaImage& image, bool& hasAlpha);

}  // namespace kestrova::texture
