#pragma once
// ASTC levels through libastcenc: every block size of the RGB, RGBA and high-range formats.
// High-range pixels are tone-mapped to 8 bits as texture_high_range.h says.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plugins/texture/texture_format.h"
#include "plugins/texture/texture_image.h"

namespace kestrova::texture {

// Decodes `stored` (LevelSize bytes) into `image`, whose sides are the level's. Returns why it
// could not, or an empty text.
std::string DecodeAstcLevel(const FormatInfo& format, std::span<const std::uint8_t> stored,
                            RgbaImage& image);

// Encodes `image` into `level` (LevelSize bytes) on every core. Returns why it could not, or an
// empty text.
std::string EncodeAstcLevel(const FormatInfo& format, const RgbaImage& image, std::uint8_t* level);

}  // namespace kestrova::texture
