#include "plugins/texture/texture_codec.h"

#include <squish.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrova::texture {
namespace {

// Widening an n-bit channel repeats its top bits below it, so 0 and the maximum map to 0 and
// 255; narrowing rounds to the nearest step, which gives every widened value back unchanged.
std::uint8_t Widen4(std::uint32_t v) {
    return static_cast<std::uint8_t>(v * 17);
}
std::uint8_t Widen5(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}
std::uint8_t Widen6(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 2) | (v >> 4));
}
std::uint32_t Narrow(std::uint32_t v, std::uint32_t steps) {
    return (v * steps + 127) / 255;
}

int SquishFlags(const FormatInfo& format) {
    return (format.layout == PixelLayout::Dxt1 ? squish::kDxt1 : squish::kDxt5) |
           squish::kColourClusterFit;
}

bool IsBlockFormat(const FormatInfo& format) {
    return format.bytesPerBlock != 0;
}

// One pixel of a pixel format into RGBA, and back.
void UnpackPixel(PixelLayout layout, const std::uint8_t* in, std::uint8_t* out) {
    switch (layout) {
        case PixelLayout::Alpha8:
            out[0] = out[1] = out[2] = 255;
            out[3] = in[0];
            return;
        case PixelLayout::Argb4444: {
            const std::uint32_t w = in[0] | (std::uint32_t{in[1]} << 8);
            out[0] = Widen4((w >> 8) & 15);
            out[1] = Widen4((w >> 4) & 15);
            out[2] = Widen4(w & 15);
            out[3] = Widen4(w >> 12);
            return;
        }
        case PixelLayout::Rgb24:
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
            return;
        case PixelLayout::Rgba32:
            std::memcpy(out, in, 4);
            return;
        case PixelLayout::Argb32:
            out[0] = in[1];
            out[1] = in[2];
            out[2] = in[3];
            out[3] = in[0];
            return;
        case PixelLayout::Rgb565: {
            const std::uint32_t w = in[0] | (std::uint32_t{in[1]} << 8);
            out[0] = Widen5(w >> 11);
            out[1] = Widen6((w >> 5) & 63);
            out[2] = Widen5(w & 31);
            out[3] = 255;
            return;
        }
        case PixelLayout::Dxt1:
        case PixelLayout::Dxt5:
            return;  // blocks are squish's
    }
}

void PackPixel(PixelLayout layout, const std::uint8_t* in, std::uint8_t* out) {
    switch (layout) {
        case PixelLayout::Alpha8:
            out[0] = in[3];
            return;
        case PixelLayout::Argb4444: {
            const std::uint32_t w = (Narrow(in[3], 15) << 12) | (Narrow(in[0], 15) << 8) |
                                    (Narrow(in[1], 15) << 4) | Narrow(in[2], 15);
            out[0] = static_cast<std::uint8_t>(w);
            out[1] = static_cast<std::uint8_t>(w >> 8);
            return;
        }
        case PixelLayout::Rgb24:
            std::memcpy(out, in, 3);
            return;
        case PixelLayout::Rgba32:
            std::memcpy(out, in, 4);
            return;
        case PixelLayout::Argb32:
            out[0] = in[3];
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
            return;
        case PixelLayout::Rgb565: {
            const std::uint32_t w =
                (Narrow(in[0], 31) << 11) | (Narrow(in[1], 63) << 5) | Narrow(in[2], 31);
            out[0] = static_cast<std::uint8_t>(w);
            out[1] = static_cast<std::uint8_t>(w >> 8);
            return;
        }
        case PixelLayout::Dxt1:
        case PixelLayout::Dxt5:
            return;
    }
}

}  // namespace

RgbaImage DecodeLevel(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                      std::span<const std::uint8_t> stored) {
    if (stored.size() < LevelSize(format, width, height)) {
        return {};
    }
    RgbaImage image(width, height);
    if (image.pixels.empty()) {
        return image;
    }
    if (IsBlockFormat(format)) {
        squish::DecompressImage(image.pixels.data(), static_cast<int>(width),
                                static_cast<int>(height), stored.data(), SquishFlags(format));
        return image;
    }
    const std::size_t count = std::size_t{width} * height;
    const std::uint8_t* in = stored.data();
    std::uint8_t* out = image.pixels.data();
    for (std::size_t i = 0; i < count; ++i, in += format.bytesPerPixel, out += 4) {
        UnpackPixel(format.layout, in, out);
    }
    return image;
}

std::vector<std::uint8_t> EncodeLevel(const FormatInfo& format, const RgbaImage& image) {
    std::vector<std::uint8_t> stored(LevelSize(format, image.width, image.height));
    if (image.pixels.empty()) {
        return stored;
    }
    if (IsBlockFormat(format)) {
        squish::CompressImage(image.pixels.data(), static_cast<int>(image.width),
                              static_cast<int>(image.height), stored.data(), SquishFlags(format));
        return stored;
    }
    const std::size_t count = std::size_t{image.width} * image.height;
    const std::uint8_t* in = image.pixels.data();
    std::uint8_t* out = stored.data();
    for (std::size_t i = 0; i < count; ++i, in += 4, out += format.bytesPerPixel) {
        PackPixel(format.layout, in, out);
    }
    return stored;
}

void FlipRows(RgbaImage& image) {
    const std::size_t rowBytes = std::size_t{image.width} * 4;
    for (std::uint32_t top = 0, bottom = image.height; top + 1 < bottom; ++top, --bottom) {
        std::swap_ranges(image.pixels.begin() + top * rowBytes,
                         image.pixels.begin() + (top + 1) * rowBytes,
                         image.pixels.begin() + (bottom - 1) * rowBytes);
    }
}

RgbaImage HalveImage(const RgbaImage& image) {
    if (image.pixels.empty()) {
        return {};
    }
    RgbaImage half(std::max<std::uint32_t>(1, image.width / 2),
                   std::max<std::uint32_t>(1, image.height / 2));
    const std::size_t rowBytes = std::size_t{image.width} * 4;
    for (std::uint32_t y = 0; y < half.height; ++y) {
        const std::size_t y0 = std::min<std::size_t>(2 * y, image.height - 1);
        const std::size_t y1 = std::min<std::size_t>(2 * y + 1, image.height - 1);
        std::uint8_t* out = half.pixels.data() + std::size_t{y} * half.width * 4;
        for (std::uint32_t x = 0; x < half.width; ++x, out += 4) {
            const std::size_t x0 = std::min<std::size_t>(2 * x, image.width - 1) * 4;
            const std::size_t x1 = std::min<std::size_t>(2 * x + 1, image.width - 1) * 4;
            const std::uint8_t* row0 = image.pixels.data() + y0 * rowBytes;
            const std::uint8_t* row1 = image.pixels.data() + y1 * rowBytes;
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t sum = row0[x0 + c] + row0[x1 + c] + row1[x0 + c] + row1[x1 + c];
                out[c] = static_cast<std::uint8_t>((sum + 2) / 4);
            }
        }
    }
    return half;
}

void AlphaFromGrey(RgbaImage& image) {
    for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        std::uint8_t* p = image.pixels.data() + i;
        p[3] = static_cast<std::uint8_t>((p[0] + p[1] + p[2] + 1) / 3);
    }
}

RgbaImage DecodeTopLevel(const Texture& texture) {
    if (texture.format == nullptr || texture.empty()) {
        return {};
    }
    const MipLevel& top = texture.levels.front();
    RgbaImage image = DecodeLevel(*texture.format, top.width, top.height,
                                  texture.imageData.subspan(top.offset, top.size));
    FlipRows(image);
    return image;
}

std::vector<std::uint8_t> EncodeImageData(const FormatInfo& format, const RgbaImage& upright,
                                          bool mipMaps) {
    std::vector<std::uint8_t> data;
    data.reserve(ChainSize(format, upright.width, upright.height, mipMaps));
    RgbaImage level = upright;
    FlipRows(level);
    const std::uint32_t count = MipLevelCount(upright.width, upright.height, mipMaps);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0) {
            level = HalveImage(level);
        }
        const std::vector<std::uint8_t> stored = EncodeLevel(format, level);
        data.insert(data.end(), stored.begin(), stored.end());
    }
    return data;
}

Conversion ReplaceImage(const TextureParse& parsed, const RgbaImage& upright) {
    if (!parsed.usable()) {
        return {{}, "The texture cannot take a new image: " + parsed.problem};
    }
    const Texture& texture = parsed.texture;
    if (texture.header.imageCount > 1) {
        return {{},
                "The texture holds " + std::to_string(texture.header.imageCount) +
                    " images; only a texture of one image can take a new one."};
    }
    if (upright.width == 0 || upright.height == 0 || upright.width > kMaxSide ||
        upright.height > kMaxSide) {
        return {{},
                "The image is " + std::to_string(upright.width) + " × " +
                    std::to_string(upright.height) + " pixels; a texture's sides run from 1 to " +
                    std::to_string(kMaxSide) + "."};
    }
    const bool mipMaps = texture.header.mipMaps != 0;
    const std::uint64_t chain = ChainSize(*texture.format, upright.width, upright.height, mipMaps);
    const std::uint64_t bodyLength = kHeaderSize + chain + 3 + texture.trailing.size();
    if (bodyLength > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return {{}, "The texture would grow beyond 2 GiB."};
    }
    TextureHeader header = texture.header;
    header.width = upright.width;
    header.height = upright.height;
    header.completeImageSize = static_cast<std::uint32_t>(chain);
    header.imageCount = 1;
    const std::vector<std::uint8_t> data = EncodeImageData(*texture.format, upright, mipMaps);
    return {WriteTexture(header, data, texture.trailing), {}};
}

}  // namespace kestrova::texture
