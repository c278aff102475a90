#pragma once
// A decoded picture: what every format decodes to and encodes from.

#include <cstdint>
#include <vector>

namespace kestrova::texture {

// Straight (not premultiplied) RGBA, one byte a channel, rows in the order the caller keeps.
struct RgbaImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

    RgbaImage() = default;
    RgbaImage(std::uint32_t w, std::uint32_t h)
        : width(w), height(h), pixels(std::size_t{w} * h * 4) {}
};

}  // namespace kestrova::texture
