#pragma once
// Pixels in and out of a texture: each format's levels to and from plain RGBA, the row order,
// the mip chain, and the new body an imported image gives a texture.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plugins/texture/texture_body.h"
#include "plugins/texture/texture_format.h"
#include "plugins/texture/texture_image.h"

namespace kestrova::texture {

// One level's pixels in its stored row order; `stored` holds LevelSize(format, width, height)
// bytes. Alpha8 becomes white with that alpha; formats without alpha become opaque; one- and
// two-channel formats show as red and green; high-range formats are tone-mapped. Data shorter
// than the level, or a block the decoder refuses, gives an empty image.
RgbaImage DecodeLevel(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                      std::span<const std::uint8_t> stored);

// Whether images can be encoded into `format` here: the pixel formats, DXT1, DXT5, BC4, BC5
// and ASTC. BC6H, BC7, ETC and EAC textures can only be shown and exported.
bool CanEncode(const FormatInfo& format);
// The stored bytes of `image` in `format` (LevelSize of its sides), rows kept in their order,
// encoded on every core; empty for a format without an encoder.
std::vector<std::uint8_t> EncodeLevel(const FormatInfo& format, const RgbaImage& image);

void FlipRows(RgbaImage& image);
// Half the sides (never below 1), each pixel the rounded mean of the 2x2 block it comes from;
// a side of 1 is not halved, and an odd side's last row or column is left out. The sample games'
// uncompressed mip chains are this filter of the level above, to within 1.
RgbaImage HalveImage(const RgbaImage& image);
// For a grey picture without alpha meant for an alpha-only texture: the grey level (the mean of
// red, green and blue) becomes the alpha.
void AlphaFromGrey(RgbaImage& image);

// The first image's top level, upright (rows stored bottom-up are turned over). Needs a usable
// texture; an empty texture gives an empty image.
RgbaImage DecodeTopLevel(const Texture& texture);

// The image data for `upright`: the top level and, with mip maps, every smaller level down to
// 1x1, each built from the one above it, all in stored row order; the levels' blocks are
// encoded on every core. Empty for a format without an encoder.
std::vector<std::uint8_t> EncodeImageData(const FormatInfo& format, const RgbaImage& upright,
                                          bool mipMaps);

// The bytes a conversion gives, or why it gives none.
struct Conversion {
    std::vector<std::uint8_t> bytes;
    std::string problem;  // empty on success

    bool ok() const { return problem.empty(); }
};

// The body of `parsed` with `upright` as its one image, in the texture's own format or, given
// `as`, in that one (the format field changes with it): width, height, complete image size,
// image count and data length follow the new image, the chain is rebuilt when the texture has
// mip maps, and every other field and the bytes after the padding stay as they were. A format
// without an encoder is refused with a message that names it.
Conversion ReplaceImage(const TextureParse& parsed, const RgbaImage& upright,
                        const FormatInfo* as = nullptr);

}  // namespace kestrova::texture
