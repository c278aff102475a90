#pragma once
// The uncompressed formats, one pixel after another, to and from straight 8-bit RGBA. Red-only
// and red-green formats show their channels as red and green with blue 0; formats without
// alpha are opaque; Alpha8 is white with its alpha. Float formats are tone-mapped (see
// texture_high_range.h) and take an 8-bit picture as its levels divided by 255.

#include <cstddef>
#include <cstdint>

#include "plugins/texture/texture_format.h"

namespace kestrova::texture {

// `count` pixels of `layout` at `in` (count * bytesPerPixel bytes) into `out` (count * 4).
void UnpackPixels(PixelLayout layout, const std::uint8_t* in, std::size_t count, std::uint8_t* out);
// `count` RGBA pixels into `layout`.
void PackPixels(PixelLayout layout, const std::uint8_t* in, std::size_t count, std::uint8_t* out);

}  // namespace kestrova::texture
