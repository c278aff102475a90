// Parses arbitrary bytes as a Texture2D body; on whatever parses, decodes the top level, writes
// the fields back and gives the texture a small new image (in every format with an encoder but
// ASTC), checking after each step that the result agrees with the fields.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "plugins/texture/texture_body.h"
#include "plugins/texture/texture_codec.h"

namespace {

using namespace kestrova::texture;

// Stops the run where an invariant does not hold.
void Require(bool holds, int line) {
    if (!holds) {
        std::fprintf(stderr, "texture invariant broken at line %d\n", line);
        std::abort();
    }
}
#define CHECK(condition) Require(condition, __LINE__)

bool SameFields(const TextureHeader& a, const TextureHeader& b) {
    const auto bytes = [](const TextureHeader& h) { return WriteTexture(h, {}, {}); };
    return bytes(a) == bytes(b);
}

void Exercise(std::span<const std::uint8_t> body) {
    const TextureParse parsed = ParseTexture(body);
    if (!parsed.usable()) {
        CHECK(!parsed.problem.empty());
        CHECK(DecodeTopLevel(parsed.texture).pixels.empty());
        return;
    }
    const Texture& t = parsed.texture;
    const RgbaImage top = DecodeTopLevel(t);
    CHECK(top.pixels.size() == (t.empty() ? 0 : std::size_t{t.header.width} * t.header.height * 4));

    const std::vector<std::uint8_t> written = WriteTexture(t.header, t.imageData, t.trailing);
    const TextureParse again = ParseTexture(written);
    CHECK(again.usable());
    CHECK(SameFields(again.texture.header, t.header));
    CHECK(again.texture.trailing.size() == t.trailing.size());

    // A new image whose sides come from the input, so that every chain shape is met.
    RgbaImage image(1 + body[0] % 9, 1 + body[1] % 9);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = body[i % body.size()];
    }
    // ASTC's encoder is a library's, slow to start for every input; its decoder is fuzzed.
    if (t.format->layout == PixelLayout::Astc || t.format->layout == PixelLayout::AstcHdr) {
        return;
    }
    const Conversion replaced = ReplaceImage(parsed, image);
    if (!replaced.ok()) {
        CHECK(t.header.imageCount > 1 || !CanEncode(*t.format));
        return;
    }
    const TextureParse result = ParseTexture(replaced.bytes);
    CHECK(result.usable());
    CHECK(result.texture.header.width == image.width &&
          result.texture.header.height == image.height);
    CHECK(result.texture.header.format == t.header.format);
    CHECK(replaced.bytes.size() % 4 == (t.trailing.size() % 4));
    CHECK(DecodeTopLevel(result.texture).pixels.size() == image.pixels.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Exercise({data, size});
    return 0;
}
