// Parses arbitrary bytes as a Texture2D body of a later engine version, read through the
// version's layout or through a tree handed over as the file's own, with streamed pixels served
// by a stand-in resource file; on whatever parses, decodes the top level and gives the texture a
// small new image, which must read back inline with the stream reference cleared.
//
// Input: a byte choosing the engine version, a byte of flags (bit 0: hand the layout over as the
// file's tree; bits 1-2: the resource file is there, missing, or unreadable; bits 3-7: its
// length in 32 KiB steps), then the body.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/support/fuzz_support.h"
#include "kestrova_plugin.h"
#include "plugins/texture/texture_codec.h"
#include "plugins/texture/texture_fields.h"
#include "plugins/texture/texture_version_layout.h"

namespace {

using namespace kestrova::texture;

constexpr std::array<const char*, 12> kVersions = {
    "5.2.0f1",    "5.5.0f1",    "2017.1.0f1",  "2017.3.1p1",  "2018.2.0f1", "2018.4.35f1",
    "2019.3.6f1", "2020.1.0f1", "2020.3.22f1", "2021.3.18f1", "2022.2.0f1", "6000.0.0f1"};

void Exercise(std::span<const std::uint8_t> input) {
    if (input.size() < 2) {
        return;
    }
    const char* version = kVersions[input[0] % kVersions.size()];
    const std::uint8_t flags = input[1];
    const std::span<const std::uint8_t> body = input.subspan(2);
    const std::int32_t status = (flags >> 1) % 3 == 0   ? KESTROVA_STREAM_READ
                                : (flags >> 1) % 3 == 1 ? KESTROVA_STREAM_NOT_FOUND
                                                        : KESTROVA_STREAM_FAILED;
    const std::uint64_t resourceLength = static_cast<std::uint64_t>(flags >> 3) << 15;
    std::uint64_t asked = 0;

    TextureContext context;
    context.engineVersion = version;
    context.namePrefix = {1, 0, 0, 0, 'T', 0, 0, 0};
    if ((flags & 1) != 0) {
        context.tree = Texture2DTree(*EngineVersion::Parse(version));
    }
    context.readStream = [&](const std::string&, std::uint64_t offset,
                             std::span<std::uint8_t> out) -> std::int32_t {
        if (status != KESTROVA_STREAM_READ) {
            return status;
        }
        if (offset > resourceLength || out.size() > resourceLength - offset) {
            return KESTROVA_STREAM_OUT_OF_RANGE;
        }
        asked += out.size();
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<std::uint8_t>((offset + i) * 131 >> 3);
        }
        return KESTROVA_STREAM_READ;
    };

    const TextureParse parsed = ParseTexture(body, context);
    // Nothing beyond the stand-in file is ever read, and a read is made only for a range it has.
    CHECK(asked <= resourceLength + 1);
    if (!parsed.usable()) {
        CHECK(!parsed.problem.empty());
        CHECK(DecodeTopLevel(parsed.texture).pixels.empty());
        return;
    }
    const Texture& t = parsed.texture;
    CHECK(t.fields != nullptr);
    CHECK(!t.isStreamed() || t.imageData.size() == t.stream.size);
    const RgbaImage top = DecodeTopLevel(t);
    CHECK(top.pixels.size() == (t.empty() ? 0 : std::size_t{t.header.width} * t.header.height * 4));

    if (t.format->layout == PixelLayout::Astc || t.format->layout == PixelLayout::AstcHdr) {
        return;  // the library's encoder is slow to start; its decoder is fuzzed
    }
    RgbaImage image(1 + body.size() % 7, 1 + body.size() % 5);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = body.empty() ? 0 : body[i % body.size()];
    }
    const Conversion replaced = ReplaceImage(parsed, image);
    if (!replaced.ok()) {
        CHECK(t.header.imageCount > 1 || !CanEncode(*t.format));
        return;
    }
    const TextureParse again = ParseTexture(replaced.bytes, context);
    CHECK(again.usable());
    CHECK(!again.texture.isStreamed() && !again.texture.stream.used());
    CHECK(again.texture.header.width == image.width && again.texture.header.height == image.height);
    CHECK(again.texture.header.format == t.header.format);
    CHECK(DecodeTopLevel(again.texture).pixels.size() == image.pixels.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Exercise({data, size});
    return 0;
}
