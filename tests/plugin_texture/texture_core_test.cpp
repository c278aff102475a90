// The texture core without Qt: the body's fields on every real texture, each format's codec,
// the rebuilt mip chain and the refusal of damaged bodies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "plugins/texture/texture_body.h"
#include "plugins/texture/texture_codec.h"
#include "plugins/texture/zoom_steps.h"
#include "tests/plugin_texture/real_texture_test.h"

namespace kestrova::testing {
namespace {

using namespace kestrova::texture;

TEST_F(RealTextureTest, EveryTextureParsesWithFieldsThatAgree) {
    std::map<std::string, std::size_t> perFile;
    for (const RealTexture& real : textures) {
        SCOPED_TRACE(real.file + " " + real.name);
        ++perFile[real.file];
        const TextureParse parsed = ParseTexture(real.body);
        ASSERT_TRUE(parsed.usable()) << parsed.problem;
        const Texture& t = parsed.texture;
        // The complete image size is the data length, and the levels add up to it.
        EXPECT_EQ(t.header.completeImageSize, t.imageData.size());
        EXPECT_EQ(ChainSize(*t.format, t.header.width, t.header.height, t.header.mipMaps != 0),
                  t.imageData.size());
        EXPECT_EQ(t.header.imageCount, t.empty() ? 0u : 1u);
        EXPECT_EQ(t.header.dimension, 2u);
        EXPECT_TRUE(t.trailing.empty());
        // Writing the parsed fields again gives the body back, padding included.
        EXPECT_EQ(WriteTexture(t.header, t.imageData, t.trailing), real.body);
    }
    for (const TextureFile& file : kTextureFiles) {
        EXPECT_EQ(perFile[file.name], file.textures) << file.name;
    }
}

// Lossless formats give every level back byte for byte; DXT levels decode and encode again
// (their quality is measured against the cluster fit in texture_formats_test.cpp). The
// uncompressed chains also show that the games' mip levels are the 2x2 box filter of the level
// above, which imports use; only "Soft" fades its smaller levels to transparent by other means.
TEST_F(RealTextureTest, EveryLevelSurvivesDecodeAndEncode) {
    for (const RealTexture& real : textures) {
        SCOPED_TRACE(real.file + " " + real.name);
        const TextureParse parsed = ParseTexture(real.body);
        const Texture& t = parsed.texture;
        for (std::size_t level = 0; level < t.levels.size(); ++level) {
            const RgbaImage decoded = DecodeStoredLevel(t, level);
            ASSERT_EQ(decoded.pixels.size(),
                      std::size_t{t.levels[level].width} * t.levels[level].height * 4);
            const Bytes encoded = EncodeLevel(*t.format, decoded);
            if (t.format->bytesPerBlock == 0) {
                EXPECT_TRUE(std::equal(encoded.begin(), encoded.end(), LevelBytes(t, level).begin(),
                                       LevelBytes(t, level).end()))
                    << "level " << level;
                if (level > 0 && real.name != "Soft") {
                    const Difference d =
                        Compare(HalveImage(DecodeStoredLevel(t, level - 1)), decoded);
                    EXPECT_LE(d.largest, 1) << "level " << level;
                }
            } else {
                EXPECT_EQ(encoded.size(), t.levels[level].size);
            }
        }
    }
}

// Every 16-bit word of the two packed formats decodes to a pixel that encodes to that word,
// and the ends of each channel widen to 0 and 255.
TEST(TextureCodecTest, PackedFormatsKeepEveryWord) {
    for (std::uint32_t id : {2u, 7u}) {
        const FormatInfo& format = *FindFormat(id);
        Bytes words(65536 * 2);
        for (std::uint32_t w = 0; w < 65536; ++w) {
            words[2 * w] = static_cast<std::uint8_t>(w);
            words[2 * w + 1] = static_cast<std::uint8_t>(w >> 8);
        }
        const RgbaImage pixels = DecodeLevel(format, 256, 256, words);
        EXPECT_EQ(EncodeLevel(format, pixels), words) << format.name;
    }
    const Bytes alphaOnly = {0x00, 0xF0, 0x00, 0xF8, 0x1F, 0x00};
    EXPECT_EQ(DecodeLevel(*FindFormat(2), 1, 1, alphaOnly).pixels, (Bytes{0, 0, 0, 255}));
    EXPECT_EQ(DecodeLevel(*FindFormat(7), 1, 1, {alphaOnly.data() + 2, 2}).pixels,
              (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(DecodeLevel(*FindFormat(7), 1, 1, {alphaOnly.data() + 4, 2}).pixels,
              (Bytes{0, 0, 255, 255}));
}

// The byte formats against the byte orders they are stored in.
TEST(TextureCodecTest, ByteFormatsStoreTheirChannelOrder) {
    const Bytes rgba = {10, 20, 30, 40, 50, 60, 70, 80};
    RgbaImage image(2, 1);
    image.pixels = rgba;
    const std::map<std::uint32_t, Bytes> stored = {
        {1, {40, 80}},
        {3, {10, 20, 30, 50, 60, 70}},
        {4, rgba},
        {5, {40, 10, 20, 30, 80, 50, 60, 70}},
    };
    for (const auto& [id, bytes] : stored) {
        const FormatInfo& format = *FindFormat(id);
        EXPECT_EQ(EncodeLevel(format, image), bytes) << format.name;
        RgbaImage expected = image;
        if (!format.hasAlpha) {
            expected.pixels[3] = expected.pixels[7] = 255;
        }
        if (format.layout == PixelLayout::Alpha8) {
            expected.pixels = {255, 255, 255, 40, 255, 255, 255, 80};
        }
        EXPECT_EQ(DecodeLevel(format, 2, 1, bytes).pixels, expected.pixels) << format.name;
    }
}

// A new image of another size: the fields follow it, the chain is rebuilt level by level down
// to 1x1 with the box filter in stored row order, and everything else stays.
TEST(TextureReplaceTest, NewSizeRebuildsTheChainAndKeepsTheRest) {
    const Bytes trailing = {1, 2, 3, 4, 5};
    const Bytes original = MakeBody(4, 4, 5, true, Sequence(4 * (16 + 4 + 1)), trailing);
    RgbaImage upright(5, 3);
    upright.pixels = Sequence(5 * 3 * 4);
    const Conversion result = ReplaceImage(ParseTexture(original), upright);
    ASSERT_TRUE(result.ok()) << result.problem;

    const TextureParse parsed = ParseTexture(result.bytes);
    ASSERT_TRUE(parsed.usable()) << parsed.problem;
    const Texture& t = parsed.texture;
    EXPECT_EQ(t.header.width, 5u);
    EXPECT_EQ(t.header.height, 3u);
    ASSERT_EQ(t.levels.size(), 3u);  // 5x3, 2x1, 1x1
    EXPECT_EQ(t.header.completeImageSize, 4u * (15 + 2 + 1));
    EXPECT_EQ(Bytes(t.trailing.begin(), t.trailing.end()), trailing);
    TextureHeader expected = ParseTexture(original).texture.header;
    expected.width = 5;
    expected.height = 3;
    expected.completeImageSize = t.header.completeImageSize;
    EXPECT_EQ(WriteTexture(expected, t.imageData, trailing), result.bytes);

    // Stored row 0 is the picture's bottom row (row 2); level 1's first pixel is the mean of the
    // picture's two bottom rows' first two pixels, in ARGB32's byte order.
    const std::uint8_t* p = upright.pixels.data();
    Bytes level1(4);
    for (int c = 0; c < 4; ++c) {
        const int sum = p[40 + c] + p[44 + c] + p[20 + c] + p[24 + c];
        level1[(c + 1) % 4] = static_cast<std::uint8_t>((sum + 2) / 4);
    }
    EXPECT_EQ(Bytes(LevelBytes(t, 1).begin(), LevelBytes(t, 1).begin() + 4), level1);
}

TEST(TextureReplaceTest, DxtLevelsTakeAtLeastOneBlock) {
    for (std::uint32_t id : {10u, 12u}) {
        const FormatInfo& format = *FindFormat(id);
        const Bytes original = MakeBody(4, 4, id, true, Bytes(3 * format.bytesPerBlock));
        RgbaImage upright(6, 1);
        upright.pixels = Sequence(6 * 4);
        const Conversion result = ReplaceImage(ParseTexture(original), upright);
        ASSERT_TRUE(result.ok()) << result.problem;
        const TextureParse parsed = ParseTexture(result.bytes);
        ASSERT_TRUE(parsed.usable()) << parsed.problem;
        ASSERT_EQ(parsed.texture.levels.size(), 3u);  // 6x1, 3x1, 1x1
        EXPECT_EQ(parsed.texture.levels[0].size, 2u * format.bytesPerBlock);
        EXPECT_EQ(parsed.texture.levels[1].size, format.bytesPerBlock);
        EXPECT_EQ(parsed.texture.levels[2].size, format.bytesPerBlock);
    }
}

// Bodies whose fields the data cannot hold, or that make no sense, are refused with a reason
// and neither decoded nor given a new image.
TEST(TextureDamageTest, DamagedBodiesAreRefused) {
    const Bytes good = MakeBody(4, 2, 4, false, Sequence(32));
    ASSERT_TRUE(ParseTexture(good).usable());
    std::vector<std::pair<std::string, Bytes>> damaged;
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{40}, std::size_t{55}}) {
        damaged.emplace_back("cut to " + std::to_string(cut),
                             Bytes(good.begin(), good.begin() + cut));
    }
    auto with = [&](const char* what, std::size_t at, std::uint32_t value) {
        Bytes body = good;
        PutLittleEndian32(body, at, value);
        damaged.emplace_back(what, body);
    };
    with("data beyond the body", 52, 33);
    with("data length at its largest", 52, 0xFFFFFFFF);
    with("unknown format", 12, 6);
    with("absurd width", 0, 0x10000);
    with("width times height wraps", 4, 0x80000001);
    with("complete size disagrees", 8, 31);
    with("more images than data", 20, 2);
    Bytes bothHuge = good;
    PutLittleEndian32(bothHuge, 0, 0xFFFFFFFF);
    PutLittleEndian32(bothHuge, 4, 0xFFFFFFFF);
    damaged.emplace_back("both sides at their largest", bothHuge);

    RgbaImage image(1, 1);
    for (const auto& [what, body] : damaged) {
        SCOPED_TRACE(what);
        const TextureParse parsed = ParseTexture(body);
        EXPECT_FALSE(parsed.usable());
        EXPECT_FALSE(parsed.problem.empty());
        EXPECT_TRUE(DecodeTopLevel(parsed.texture).pixels.empty());
        EXPECT_FALSE(ReplaceImage(parsed, image).ok());
    }
}

// The later forms' samples: the textures of 5.0 read as before; later Texture2D bodies are
// refused without showing their words as fields.
TEST(TextureDamageTest, ModernSamplesReadOrAreRefusedWithoutTheirFields) {
    std::size_t refused = 0;
    TempFolder work;
    for (const RealTexture& real :
         LoadModernTextures(RealDataFolder(), Utf8ToUtf16(work.File("T")))) {
        const TextureParse parsed = ParseTexture(real.body);
        if (!parsed.usable()) {
            ++refused;
            EXPECT_FALSE(parsed.headerRead) << real.name;
            EXPECT_EQ(parsed.problem.rfind("This is not a Texture2D body", 0), 0u) << real.name;
        }
    }
    EXPECT_EQ(refused, RealDataFolder().empty() ? 0u : 2u);
}

TEST(TextureZoomTest, StepsRunFromAnEighthTo32) {
    EXPECT_EQ(ZoomInStep(1), 2);
    EXPECT_EQ(ZoomInStep(0.3), 0.5);
    EXPECT_EQ(ZoomInStep(32), 32);
    EXPECT_EQ(ZoomOutStep(1), 0.5);
    EXPECT_EQ(ZoomOutStep(0.125), 0.125);
    EXPECT_EQ(ZoomOutStep(1.0000000001), 0.5);
    EXPECT_EQ(FitZoom(200, 100, 100, 100), 0.5);
    EXPECT_EQ(FitZoom(0, 0, 100, 100), 1);
}

}  // namespace
}  // namespace kestrova::testing
