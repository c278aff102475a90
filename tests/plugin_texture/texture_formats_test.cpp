// The block and pixel formats against independent references: libsquish's decoder and
// encoder for the DXT family, the worked examples published with the ETC2 and EAC block
// layouts, blocks of every BC7 and BC6H mode whose decoding agrees with an independent
// decoder, libastcenc's encoder for ASTC, and round trips of every pixel format.

#include <gtest/gtest.h>
#include <squish.h>

#include <array>
#include <cmath>
#include <map>
#include <string>

#include "plugins/texture/texture_bptc.h"
#include "plugins/texture/texture_codec.h"
#include "plugins/texture/texture_etc.h"
#include "plugins/texture/texture_high_range.h"
#include "tests/plugin_texture/real_texture_test.h"

namespace kestrova::testing {
namespace {

using namespace kestrova::texture;

// Reproducible bytes, so that a failure can be repeated.
class Generator {
public:
    std::uint8_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::uint8_t>(state_ >> 24);
    }
    Bytes Take(std::size_t n) {
        Bytes out(n);
        for (std::uint8_t& b : out) {
            b = Next();
        }
        return out;
    }

private:
    std::uint64_t state_ = 88172645463325252ull;
};

// Smooth colour and alpha with a little noise, the kind of picture the encoders meet.
RgbaImage Picture(std::uint32_t width, std::uint32_t height) {
    RgbaImage image(width, height);
    Generator noise;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* p = image.pixels.data() + (std::size_t{y} * width + x) * 4;
            p[0] = static_cast<std::uint8_t>(x * 255 / width + noise.Next() % 9);
            p[1] = static_cast<std::uint8_t>(y * 200 / height + noise.Next() % 9);
            p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + y) / 9.0));
            p[3] = static_cast<std::uint8_t>(255 - (x * y * 255) / (width * height));
        }
    }
    return image;
}

double Psnr(const RgbaImage& a, const RgbaImage& b) {
    SquaredError e;
    e.Add(a, b);
    return e.Psnr();
}

// --- DXT, BC4, BC5 ------------------------------------------------------------------------

TEST(TextureDxtTest, DecodesAsLibsquishDoes) {
    Generator g;
    for (std::uint32_t id : {10u, 12u}) {
        const FormatInfo& format = *FindFormat(id);
        const Bytes blocks = g.Take(LevelSize(format, 64, 64));
        RgbaImage expected(64, 64);
        squish::DecompressImage(expected.pixels.data(), 64, 64, blocks.data(),
                                id == 10 ? squish::kDxt1 : squish::kDxt5);
        EXPECT_EQ(DecodeLevel(format, 64, 64, blocks).pixels, expected.pixels) << format.name;
    }
    // A BC4 block is DXT5's alpha block; BC5 is two of them.
    Bytes dxt5 = g.Take(LevelSize(*FindFormat(12), 64, 64));
    RgbaImage expected(64, 64);
    squish::DecompressImage(expected.pixels.data(), 64, 64, dxt5.data(), squish::kDxt5);
    Bytes bc4;
    for (std::size_t b = 0; b < dxt5.size(); b += 16) {
        bc4.insert(bc4.end(), dxt5.begin() + b, dxt5.begin() + b + 8);
    }
    const RgbaImage red = DecodeLevel(*FindFormat(26), 64, 64, bc4);
    const RgbaImage redGreen = DecodeLevel(*FindFormat(27), 64, 64, dxt5);
    for (std::size_t i = 0; i < expected.pixels.size(); i += 4) {
        ASSERT_EQ(red.pixels[i], expected.pixels[i + 3]) << i;
        ASSERT_EQ(redGreen.pixels[i], expected.pixels[i + 3]) << i;
    }
}

// DXT1 keeps punch-through alpha; one-channel encoders do as well as libsquish's alpha fit.
TEST(TextureDxtTest, EncodersKeepAlphaAndMatchLibsquishChannels) {
    RgbaImage picture = Picture(64, 40);
    for (std::size_t i = 3; i < picture.pixels.size(); i += 4) {
        picture.pixels[i] = picture.pixels[i] < 128 ? 0 : 255;
    }
    const RgbaImage dxt1 =
        DecodeLevel(*FindFormat(10), 64, 40, EncodeLevel(*FindFormat(10), picture));
    for (std::size_t i = 3; i < picture.pixels.size(); i += 4) {
        ASSERT_EQ(dxt1.pixels[i], picture.pixels[i]) << i;
    }

    const RgbaImage source = Picture(64, 40);
    RgbaImage squished(64, 40);
    for (int channel : {0, 1, 3}) {
        RgbaImage asAlpha = source;
        for (std::size_t i = 0; i < asAlpha.pixels.size(); i += 4) {
            asAlpha.pixels[i + 3] = source.pixels[i + channel];
        }
        Bytes blocks(LevelSize(*FindFormat(12), 64, 40));
        squish::CompressImage(asAlpha.pixels.data(), 64, 40, blocks.data(),
                              squish::kDxt5 | squish::kColourRangeFit);
        squish::DecompressImage(squished.pixels.data(), 64, 40, blocks.data(), squish::kDxt5);
        const std::uint32_t id = channel == 3 ? 12 : channel == 0 ? 26 : 27;
        const RgbaImage ours =
            DecodeLevel(*FindFormat(id), 64, 40, EncodeLevel(*FindFormat(id), source));
        double theirs = 0;
        double mine = 0;
        for (std::size_t i = 0; i < source.pixels.size(); i += 4) {
            theirs += std::pow(squished.pixels[i + 3] - source.pixels[i + channel], 2);
            mine += std::pow(ours.pixels[i + channel] - source.pixels[i + channel], 2);
        }
        EXPECT_LE(mine, theirs * 1.02) << "channel " << channel;
    }
}

// The import's DXT encoder against the cluster fit imports used before, on every level of
// every real DXT texture: within half a decibel.
TEST_F(RealTextureTest, DxtEncoderIsWithinHalfADecibelOfClusterFit) {
    for (std::uint32_t id : {10u, 12u}) {
        const FormatInfo& format = *FindFormat(id);
        SquaredError ours;
        SquaredError cluster;
        for (const RealTexture& real : textures) {
            const TextureParse parsed = ParseTexture(real.body);
            if (parsed.texture.format != &format || parsed.texture.empty()) {
                continue;
            }
            for (std::size_t level = 0; level < parsed.texture.levels.size(); ++level) {
                const RgbaImage source = DecodeStoredLevel(parsed.texture, level);
                const int w = static_cast<int>(source.width);
                const int h = static_cast<int>(source.height);
                ours.Add(source, DecodeLevel(format, source.width, source.height,
                                             EncodeLevel(format, source)));
                Bytes blocks(LevelSize(format, source.width, source.height));
                RgbaImage decoded(source.width, source.height);
                const int kind = id == 10 ? squish::kDxt1 : squish::kDxt5;
                squish::CompressImage(source.pixels.data(), w, h, blocks.data(),
                                      kind | squish::kColourClusterFit);
                squish::DecompressImage(decoded.pixels.data(), w, h, blocks.data(), kind);
                cluster.Add(source, decoded);
            }
        }
        ASSERT_GT(ours.samples, 0u) << format.name;
        EXPECT_GE(ours.Psnr(), cluster.Psnr() - 0.5) << format.name;
    }
}

// --- BC7 and BC6H -------------------------------------------------------------------------

std::uint64_t Fnv(const std::uint8_t* p, std::size_t n, std::uint64_t hash) {
    for (std::size_t i = 0; i < n; ++i) {
        hash = (hash ^ p[i]) * 0x100000001B3ull;
    }
    return hash;
}

// 4096 blocks of random bits with their modes set in turn, the reserved ones included. The
// expected hashes are of decodings that agree with an independent decoder (BC6H to within the
// last step of 8 bits, as that decoder gives no more).
TEST(TextureBptcTest, EveryModeDecodesAsKnown) {
    Generator g;
    std::uint64_t bc7 = 0xCBF29CE484222325ull;
    for (int i = 0; i < 4096; ++i) {
        Bytes block = g.Take(16);
        const int mode = i % 9;  // 8: no mode bit, a reserved block
        if (mode < 8) {
            block[0] = static_cast<std::uint8_t>((block[0] & ~((2u << mode) - 1)) | (1u << mode));
        }
        std::uint8_t tile[64];
        DecodeBc7Block(block.data(), tile);
        bc7 = Fnv(tile, 64, bc7);
    }
    EXPECT_EQ(bc7, 0xAE3CA3AD37094DFEull);

    constexpr int kModes[] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19};
    Generator g6;
    std::uint64_t bc6 = 0xCBF29CE484222325ull;
    for (int i = 0; i < 4096; ++i) {
        Bytes block = g6.Take(16);
        const int mode = kModes[i % 15];
        block[0] =
            static_cast<std::uint8_t>(mode < 2 ? (block[0] & ~3) | mode : (block[0] & ~31) | mode);
        std::uint16_t halves[48];
        DecodeBc6hHalves(block.data(), halves);
        std::uint8_t bytes[96];
        for (int k = 0; k < 48; ++k) {
            bytes[2 * k] = static_cast<std::uint8_t>(halves[k]);
            bytes[2 * k + 1] = static_cast<std::uint8_t>(halves[k] >> 8);
        }
        bc6 = Fnv(bytes, 96, bc6);
    }
    EXPECT_EQ(bc6, 0x29BBEC9A079DBC7Full);
}

// --- ETC1, ETC2 and EAC: the published worked examples -------------------------------------

// A block built field by field: `bits` from bit `high` down, in the big-endian 64-bit word.
struct EtcBlock {
    std::uint64_t word = 0;

    EtcBlock& Put(int high, int count, std::uint64_t value) {
        word |= (value & ((std::uint64_t{1} << count) - 1)) << (high - count + 1);
        return *this;
    }
    // Colour blocks: pixel (x, y)'s 2-bit index, high bit among bits 31..16.
    EtcBlock& Index(int x, int y, int index) {
        return Put(16 + x * 4 + y, 1, index >> 1).Put(x * 4 + y, 1, index & 1);
    }
    // Every pixel's index from `f`.
    template <typename F>
    EtcBlock& Indices(F f) {
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                Index(x, y, f(x, y));
            }
        }
        return *this;
    }
    Bytes bytes() const {
        Bytes out(8);
        for (int i = 0; i < 8; ++i) {
            out[i] = static_cast<std::uint8_t>(word >> (56 - 8 * i));
        }
        return out;
    }
};

using Rgb = std::array<int, 3>;

// Decodes `block` as `id` and checks each pixel's colour against `expected(x, y)`.
template <typename F>
void ExpectColours(std::uint32_t id, const Bytes& block, F expected) {
    const RgbaImage tile = DecodeLevel(*FindFormat(id), 4, 4, block);
    ASSERT_EQ(tile.pixels.size(), 64u);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* p = tile.pixels.data() + (y * 4 + x) * 4;
            const Rgb want = expected(x, y);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), want) << "pixel " << x << "," << y;
            EXPECT_EQ(p[3], 255);
        }
    }
}

TEST(TextureEtcTest, IndividualAndDifferentialBlocks) {
    // Individual: bases (4, 11, 9) with table 4 on the left half, (14, 3, 8) with table 0 on
    // the right; each row uses one index (0: +small, 1: +large, 2: -small, 3: -large).
    const Bytes individual = EtcBlock{}
                                 .Put(63, 4, 4)
                                 .Put(59, 4, 14)
                                 .Put(55, 4, 11)
                                 .Put(51, 4, 3)
                                 .Put(47, 4, 9)
                                 .Put(43, 4, 8)
                                 .Put(39, 3, 4)
                                 .Put(36, 3, 0)
                                 .Indices([](int, int y) { return y; })
                                 .bytes();
    // (The published table gives red 58 for the third; 68 - 18 is 50.)
    const Rgb left[4] = {{86, 205, 171}, {128, 247, 213}, {50, 169, 135}, {8, 127, 93}};
    const Rgb right[4] = {{240, 53, 138}, {246, 59, 144}, {236, 49, 134}, {230, 43, 128}};
    for (std::uint32_t id : {34u, 45u}) {
        ExpectColours(id, individual, [&](int x, int y) { return x < 2 ? left[y] : right[y]; });
    }
    // Differential: (29, 26, 8) and that moved by (-4, -3, +3), tables 2 and 3, the halves on
    // top of each other (flip bit); each column uses one index.
    const Bytes differential = EtcBlock{}
                                   .Put(63, 5, 29)
                                   .Put(58, 3, 4)
                                   .Put(55, 5, 26)
                                   .Put(50, 3, 5)
                                   .Put(47, 5, 8)
                                   .Put(42, 3, 3)
                                   .Put(39, 3, 2)
                                   .Put(36, 3, 3)
                                   .Put(33, 1, 1)
                                   .Put(32, 1, 1)
                                   .Indices([](int x, int) { return x; })
                                   .bytes();
    const Rgb top[4] = {{248, 223, 75}, {255, 243, 95}, {230, 205, 57}, {210, 185, 37}};
    const Rgb bottom[4] = {{219, 202, 103}, {248, 231, 132}, {193, 176, 77}, {164, 147, 48}};
    for (std::uint32_t id : {34u, 45u, 46u, 47u}) {
        Bytes block = differential;
        if (id == 47) {  // an alpha block in front: base 255, multiplier 0
            block.insert(block.begin(), {255, 0, 0, 0, 0, 0, 0, 0});
        }
        ExpectColours(id, block, [&](int x, int y) { return y < 2 ? top[x] : bottom[x]; });
    }
}

TEST(TextureEtcTest, TwoBaseAndPlanarBlocks) {
    // T: bases (13, 1, 8) and (4, 12, 13), distance 32; red plus its difference overflows.
    const Bytes t = EtcBlock{}
                        .Put(63, 3, 7)
                        .Put(60, 2, 13 >> 2)
                        .Put(58, 1, 0)
                        .Put(57, 2, 13 & 3)
                        .Put(55, 4, 1)
                        .Put(51, 4, 8)
                        .Put(47, 4, 4)
                        .Put(43, 4, 12)
                        .Put(39, 4, 13)
                        .Put(35, 2, 5 >> 1)
                        .Put(33, 1, 1)
                        .Put(32, 1, 5 & 1)
                        .Indices([](int, int y) { return y; })
                        .bytes();
    const Rgb tPaint[4] = {{221, 17, 136}, {100, 236, 253}, {68, 204, 221}, {36, 172, 189}};
    ExpectColours(45, t, [&](int, int y) { return tPaint[y]; });
    // H: the same bases, distance 32 (its last bit from the first base being the larger);
    // green plus its difference underflows. The second paint colour's green clamps to 0.
    const Bytes h = EtcBlock{}
                        .Put(62, 4, 13)
                        .Put(58, 3, 1 >> 1)
                        .Put(55, 3, 0)
                        .Put(52, 1, 1 & 1)
                        .Put(51, 1, 8 >> 3)
                        .Put(50, 1, 1)
                        .Put(49, 3, 8 & 7)
                        .Put(46, 4, 4)
                        .Put(42, 4, 12)
                        .Put(38, 4, 13)
                        .Put(34, 1, 1)
                        .Put(33, 1, 1)
                        .Put(32, 1, 0)
                        .Indices([](int x, int) { return x; })
                        .bytes();
    const Rgb hPaint[4] = {{253, 49, 168}, {189, 0, 104}, {100, 236, 253}, {36, 172, 189}};
    ExpectColours(45, h, [&](int x, int) { return hPaint[x]; });
    // Planar: origin (12, 64, 62), horizontal (50, 5, 37), vertical (40, 112, 45) in 6:7:6
    // bits; blue plus its difference overflows.
    const Bytes planar = EtcBlock{}
                             .Put(62, 6, 12)
                             .Put(56, 1, 64 >> 6)
                             .Put(54, 6, 64 & 63)
                             .Put(48, 1, 62 >> 5)
                             .Put(47, 3, 7)
                             .Put(44, 2, (62 >> 3) & 3)
                             .Put(41, 3, 62 & 7)
                             .Put(38, 5, 50 >> 1)
                             .Put(33, 1, 1)
                             .Put(32, 1, 50 & 1)
                             .Put(31, 7, 5)
                             .Put(24, 6, 37)
                             .Put(18, 6, 40)
                             .Put(12, 7, 112)
                             .Put(5, 6, 45)
                             .bytes();
    const Rgb plane[16] = {{48, 129, 251},  {87, 99, 226},   {126, 70, 201},  {164, 40, 175},
                           {77, 153, 234},  {115, 123, 209}, {154, 94, 183},  {193, 64, 158},
                           {105, 177, 217}, {144, 147, 191}, {183, 118, 166}, {221, 88, 141},
                           {134, 201, 199}, {172, 171, 174}, {211, 142, 149}, {250, 112, 124}};
    ExpectColours(45, planar, [&](int x, int y) { return plane[y * 4 + x]; });
}

// Punch-through blocks without the opaque bit: index 2 is transparent black and index 0 the
// base colour itself; with it, the block is an ordinary opaque one.
TEST(TextureEtcTest, PunchThroughAlpha) {
    EtcBlock block;
    block.Put(63, 5, 16).Put(55, 5, 8).Put(47, 5, 24).Put(39, 3, 1).Put(36, 3, 1);
    block.Indices([](int x, int) { return x; });
    const RgbaImage see = DecodeLevel(*FindFormat(46), 4, 4, block.bytes());
    const std::uint8_t base[3] = {132, 66, 198};
    for (int y = 0; y < 4; ++y) {
        const std::uint8_t* row = see.pixels.data() + y * 16;
        EXPECT_EQ(Bytes(row, row + 4), (Bytes{base[0], base[1], base[2], 255}));
        EXPECT_EQ(Bytes(row + 4, row + 8), (Bytes{149, 83, 215, 255}));
        EXPECT_EQ(Bytes(row + 8, row + 12), (Bytes{0, 0, 0, 0}));
        EXPECT_EQ(Bytes(row + 12, row + 16), (Bytes{115, 49, 181, 255}));
    }
    block.Put(33, 1, 1);
    const RgbaImage opaque = DecodeLevel(*FindFormat(46), 4, 4, block.bytes());
    EXPECT_EQ(Bytes(opaque.pixels.begin() + 8, opaque.pixels.begin() + 12),
              (Bytes{127, 61, 193, 255}));
}

// Base 103, table 13, index 3 (modifier -10): multiplier 2 gives alpha 83; the 11-bit channel
// gives 668, and 818 with multiplier 0.
TEST(TextureEtcTest, EacBlocks) {
    const auto eac = [](int multiplier) {
        return EtcBlock{}
            .Put(63, 8, 103)
            .Put(55, 4, multiplier)
            .Put(51, 4, 13)
            .Put(47, 48, 0x6DB6DB6DB6DBull)  // every index 3
            .bytes();
    };
    Bytes rgba8 = eac(2);
    const Bytes colour = EtcBlock{}.Put(33, 1, 1).bytes();
    rgba8.insert(rgba8.end(), colour.begin(), colour.end());
    const RgbaImage alpha = DecodeLevel(*FindFormat(47), 4, 4, rgba8);
    for (std::size_t i = 3; i < alpha.pixels.size(); i += 4) {
        EXPECT_EQ(alpha.pixels[i], 83);
    }
    std::uint16_t values[16];
    DecodeEac11(eac(2).data(), values);
    EXPECT_EQ(values[5], 668);
    DecodeEac11(eac(0).data(), values);
    EXPECT_EQ(values[5], 818);
    Bytes rg = eac(2);
    const Bytes green = eac(0);
    rg.insert(rg.end(), green.begin(), green.end());
    const RgbaImage shown = DecodeLevel(*FindFormat(43), 4, 4, rg);
    EXPECT_EQ(Bytes(shown.pixels.begin(), shown.pixels.begin() + 4),
              (Bytes{668 >> 3, 818 >> 3, 0, 255}));
}

// --- ASTC -----------------------------------------------------------------------------------

// Every block size through libastcenc's encoder and back, at sides that are no multiple of the
// block: close to the picture, the sides kept, RGB formats opaque.
TEST(TextureAstcTest, EveryBlockSizeRoundTrips) {
    const RgbaImage picture = Picture(29, 17);
    for (std::uint32_t id = 48; id <= 71; ++id) {
        const FormatInfo* format = FindFormat(id);
        if (format == nullptr || format->blockWidth == 1) {
            continue;
        }
        SCOPED_TRACE(format->name);
        const Bytes stored = EncodeLevel(*format, picture);
        ASSERT_EQ(stored.size(), LevelSize(*format, 29, 17));
        const RgbaImage decoded = DecodeLevel(*format, 29, 17, stored);
        ASSERT_EQ(decoded.pixels.size(), picture.pixels.size());
        RgbaImage expected = picture;
        for (std::size_t i = 3; i < expected.pixels.size() && !format->hasAlpha; i += 4) {
            expected.pixels[i] = 255;
        }
        // The high-range encoder works on logarithms and gives less for an 8-bit picture.
        const double least = format->highRange ? 18 : format->blockWidth <= 6 ? 33 : 22;
        EXPECT_GE(Psnr(expected, decoded), least);
    }
}

// --- Pixel formats --------------------------------------------------------------------------

// Every pixel format stores what it can hold of a picture: decoding and storing again gives
// the same bytes, and the decoded picture is the source to within the format's steps.
TEST(TexturePixelFormatTest, EveryFormatKeepsWhatItStores) {
    const RgbaImage picture = Picture(16, 8);
    const std::map<std::string, int> allowed = {
        {"ARGB4444", 8}, {"RGBA4444", 8}, {"RGB565", 4}, {"RGB9e5Float", 1}};
    const std::map<std::string, std::string> channels = {
        {"Alpha8", "a"},  {"R8", "r"},       {"R16", "r"},          {"RG16", "rg"},
        {"RHalf", "r"},   {"RGHalf", "rg"},  {"RFloat", "r"},       {"RGFloat", "rg"},
        {"RGB24", "rgb"}, {"RGB565", "rgb"}, {"RGB9e5Float", "rgb"}};
    for (std::uint32_t id = 0; id < 64; ++id) {
        const FormatInfo* format = FindFormat(id);
        if (format == nullptr || format->bytesPerBlock != 0) {
            continue;
        }
        SCOPED_TRACE(format->name);
        const Bytes stored = EncodeLevel(*format, picture);
        const RgbaImage decoded = DecodeLevel(*format, 16, 8, stored);
        EXPECT_EQ(EncodeLevel(*format, decoded), stored);
        const auto step = allowed.find(format->name);
        const int largest = step == allowed.end() ? 0 : step->second;
        const auto kept = channels.find(format->name);
        const std::string keeps = kept == channels.end() ? "rgba" : kept->second;
        for (std::size_t i = 0; i < picture.pixels.size(); i += 4) {
            for (int c = 0; c < 4; ++c) {
                if (keeps.find("rgba"[c]) != std::string::npos) {
                    ASSERT_LE(std::abs(decoded.pixels[i + c] - picture.pixels[i + c]), largest)
                        << "channel " << c;
                }
            }
        }
    }
}

// --- Formats the codec names but cannot use ---------------------------------------------------

TEST(TextureFormatRefusalTest, CrunchedAndUnencodableFormatsAreNamed) {
    const TextureParse crunched = ParseTexture(MakeBody(4, 4, 29, false, Bytes(16)));
    EXPECT_FALSE(crunched.usable());
    EXPECT_NE(crunched.problem.find("DXT5Crunched"), std::string::npos) << crunched.problem;

    const TextureParse bc7 = ParseTexture(MakeBody(4, 4, 25, false, Bytes(16)));
    ASSERT_TRUE(bc7.usable()) << bc7.problem;
    const Conversion refused = ReplaceImage(bc7, Picture(8, 8));
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.problem.find("BC7"), std::string::npos) << refused.problem;
    EXPECT_NE(refused.problem.find("RGBA32"), std::string::npos) << refused.problem;

    const Conversion converted = ReplaceImage(bc7, Picture(8, 8), FindFormat(4));
    ASSERT_TRUE(converted.ok()) << converted.problem;
    const TextureParse after = ParseTexture(converted.bytes);
    ASSERT_TRUE(after.usable()) << after.problem;
    EXPECT_EQ(after.texture.header.format, 4u);
    EXPECT_EQ(DecodeTopLevel(after.texture).pixels, Picture(8, 8).pixels);
}

// Every format with an encoder takes a new image of odd sides with its mip chain, and the body
// it gives parses and shows the picture (lossy formats to within their loss); the others are
// refused with a message and show their old image still.
TEST(TextureImportTest, EveryFormatTakesANewImageOrSaysWhyNot) {
    const RgbaImage picture = Picture(23, 10);
    for (std::uint32_t id = 0; id < 128; ++id) {
        const FormatInfo* format = FindFormat(id);
        if (format == nullptr) {
            continue;
        }
        SCOPED_TRACE(format->name);
        const Bytes body =
            MakeBody(4, 4, id, true, Bytes(ChainSize(*format, 4, 4, true), std::uint8_t{0x5A}));
        const TextureParse before = ParseTexture(body);
        ASSERT_TRUE(before.usable()) << before.problem;
        RgbaImage upright = picture;
        const Conversion result = ReplaceImage(before, upright);
        if (!CanEncode(*format)) {
            EXPECT_FALSE(result.ok());
            EXPECT_NE(result.problem.find(format->name), std::string::npos);
            EXPECT_EQ(DecodeTopLevel(before.texture).pixels.size(), 4u * 4 * 4);
            continue;
        }
        ASSERT_TRUE(result.ok()) << result.problem;
        const TextureParse after = ParseTexture(result.bytes);
        ASSERT_TRUE(after.usable()) << after.problem;
        EXPECT_EQ(after.texture.levels.size(), 5u);  // 23x10 down to 1x1
        const RgbaImage shown = DecodeTopLevel(after.texture);
        ASSERT_EQ(shown.pixels.size(), picture.pixels.size());
        // What the format keeps of the picture survives a second round unchanged or nearly.
        const Conversion again = ReplaceImage(after, shown);
        ASSERT_TRUE(again.ok()) << again.problem;
        const double psnr = Psnr(shown, DecodeTopLevel(ParseTexture(again.bytes).texture));
        const double least = format->blockWidth == 1  ? 99
                             : format->highRange      ? 18
                             : format->blockWidth > 6 ? 22
                                                      : 28;
        EXPECT_GE(psnr, least);
    }
}

// A flat tile makes a DXT1 block whose two end colours are equal, which a decoder reads in the
// three-colour mode: the pixels must still not come out transparent.
TEST(TextureDxtTest, FlatTilesStayOpaque) {
    for (const std::uint8_t grey : {0, 1, 128, 254, 255}) {
        RgbaImage flat(5, 3);
        std::fill(flat.pixels.begin(), flat.pixels.end(), grey);
        for (std::size_t i = 3; i < flat.pixels.size(); i += 4) {
            flat.pixels[i] = 255;
        }
        const RgbaImage decoded =
            DecodeLevel(*FindFormat(10), 5, 3, EncodeLevel(*FindFormat(10), flat));
        for (std::size_t i = 0; i < decoded.pixels.size(); i += 4) {
            ASSERT_EQ(decoded.pixels[i + 3], 255) << int{grey};
            ASSERT_LE(std::abs(decoded.pixels[i] - grey), 4) << int{grey};
        }
    }
}

// Every half but the NaNs turns into a float and back unchanged; the tone mapping keeps 0 to 1
// as it is and scales brighter pixels down along their hue.
TEST(TextureHighRangeTest, HalvesAndToneMapping) {
    for (std::uint32_t h = 0; h < 65536; ++h) {
        const float f = HalfToFloat(static_cast<std::uint16_t>(h));
        if (!std::isnan(f)) {
            ASSERT_EQ(FloatToHalf(f), h) << h;
        }
    }
    EXPECT_EQ(FloatToHalf(1e6f), 0x7C00);
    EXPECT_EQ(HalfToFloat(0x3C00), 1.0f);

    const auto map = [](float r, float g, float b, float a) {
        const float rgba[4] = {r, g, b, a};
        std::uint8_t out[4];
        ToneMap(rgba, out);
        return Bytes(out, out + 4);
    };
    EXPECT_EQ(map(0.5f, 0, 1, 0.25f), (Bytes{128, 0, 255, 64}));
    EXPECT_EQ(map(4, 2, 1, 2), (Bytes{255, 128, 64, 255}));
    EXPECT_EQ(map(-1, std::nanf(""), INFINITY, -3), (Bytes{0, 0, 255, 0}));

    // 9e5: mantissas 256, 128, 64 with exponent 15 are 0.5, 0.25 and 0.125.
    float rgb[3];
    UnpackRgb9e5((15u << 27) | (64u << 18) | (128u << 9) | 256u, rgb);
    EXPECT_EQ(rgb[0], 0.5f);
    EXPECT_EQ(rgb[1], 0.25f);
    EXPECT_EQ(rgb[2], 0.125f);
    EXPECT_EQ(PackRgb9e5(rgb), (15u << 27) | (64u << 18) | (128u << 9) | 256u);
}

}  // namespace
}  // namespace kestrova::testing
