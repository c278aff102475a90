// Decodes arbitrary bytes as one level of every format the codecs know: the first byte picks
// the format, the next two the sides (1 to 64), the rest is the level's data. Block contents
// are never checked before decoding, so every bit pattern of every format must decode, and
// data shorter than the level must give no image.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "plugins/texture/texture_codec.h"

namespace {

using namespace kestrova::texture;

const std::vector<const FormatInfo*>& Formats() {
    static const std::vector<const FormatInfo*> formats = [] {
        std::vector<const FormatInfo*> known;
        for (std::uint32_t id = 0; id < 256; ++id) {
            if (const FormatInfo* format = FindFormat(id)) {
                known.push_back(format);
            }
        }
        return known;
    }();
    return formats;
}

void Require(bool holds, int line) {
    if (!holds) {
        std::fprintf(stderr, "texture level invariant broken at line %d\n", line);
        std::abort();
    }
}
#define CHECK(condition) Require(condition, __LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const FormatInfo& format = *Formats()[data[0] % Formats().size()];
    const std::uint32_t width = 1 + data[1] % 64;
    const std::uint32_t height = 1 + data[2] % 64;
    const std::span<const std::uint8_t> stored(data + 3, size - 3);
    const RgbaImage image = DecodeLevel(format, width, height, stored);
    if (stored.size() < LevelSize(format, width, height)) {
        CHECK(image.pixels.empty());
        return 0;
    }
    CHECK(image.width == width && image.height == height);
    CHECK(image.pixels.size() == std::size_t{width} * height * 4);
    if (!format.hasAlpha) {
        for (std::size_t i = 3; i < image.pixels.size(); i += 4) {
            CHECK(image.pixels[i] == 255);
        }
    }
    return 0;
}
