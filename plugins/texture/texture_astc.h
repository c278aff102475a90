#pragma once
// ASTC levels through libastcenc: every block size of the RGB, RGBA and high-range formats.
// High-range pixels are tone-mapped to 8 bits as texture_high_range.h says.

#include <cstdint>
#include <memory>
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

// Encodes the levels of a chain one after another, each on every core; the encoder's tables
// are made once for the whole chain.
class AstcEncoder {
public:
    explicit AstcEncoder(const FormatInfo& format);
    ~AstcEncoder();
    AstcEncoder(const AstcEncoder&) = delete;
    AstcEncoder& operator=(const AstcEncoder&) = delete;

    // Encodes `image` into `level` (LevelSize bytes). Returns why it could not, or an empty
    // text.
    std::string Encode(const RgbaImage& image, std::uint8_t* level);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrova::texture
