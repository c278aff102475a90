#include "plugins/texture/texture_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "plugins/support/long_conversion.h"
#include "plugins/texture/texture_astc.h"
#include "plugins/texture/texture_bc.h"
#include "plugins/texture/texture_blocks.h"
#include "plugins/texture/texture_bptc.h"
#include "plugins/texture/texture_etc.h"
#include "plugins/texture/texture_fields.h"
#include "plugins/texture/texture_pixel_formats.h"

namespace kestrova::texture {
namespace {

struct BlockCodec {
    PixelLayout layout;
    BlockDecoder decode;
    BlockEncoder encode;  // null where there is no encoder
};
constexpr BlockCodec kBlockCodecs[] = {
    {PixelLayout::Dxt1, DecodeDxt1Block, EncodeDxt1Block},
    {PixelLayout::Dxt5, DecodeDxt5Block, EncodeDxt5Block},
    {PixelLayout::Bc4, DecodeBc4Block, EncodeBc4Block},
    {PixelLayout::Bc5, DecodeBc5Block, EncodeBc5Block},
    {PixelLayout::Bc6h, DecodeBc6hBlock, nullptr},
    {PixelLayout::Bc7, DecodeBc7Block, nullptr},
    {PixelLayout::EtcRgb4, DecodeEtc1Block, nullptr},
    {PixelLayout::Etc2Rgb, DecodeEtc2RgbBlock, nullptr},
    {PixelLayout::Etc2Rgba1, DecodeEtc2Rgba1Block, nullptr},
    {PixelLayout::Etc2Rgba8, DecodeEtc2Rgba8Block, nullptr},
    {PixelLayout::EacR, DecodeEacRBlock, nullptr},
    {PixelLayout::EacRg, DecodeEacRgBlock, nullptr},
};

const BlockCodec* FindBlockCodec(PixelLayout layout) {
    for (const BlockCodec& codec : kBlockCodecs) {
        if (codec.layout == layout) {
            return &codec;
        }
    }
    return nullptr;
}

bool IsAstc(const FormatInfo& format) {
    return format.layout == PixelLayout::Astc || format.layout == PixelLayout::AstcHdr;
}

// Block rows per piece of encoding work: small enough to spread a level over the cores, large
// enough that handing out pieces costs nothing.
constexpr std::size_t kRowsPerPiece = 8;

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
    ClearUpperVectorState();
    if (format.bytesPerBlock == 0) {
        UnpackPixels(format.layout, stored.data(), std::size_t{width} * height,
                     image.pixels.data());
    } else if (const BlockCodec* codec = FindBlockCodec(format.layout)) {
        DecodeBlocks(format, stored, image, codec->decode);
    } else if (!DecodeAstcLevel(format, stored, image).empty()) {
        return {};
    }
    return image;
}

bool CanEncode(const FormatInfo& format) {
    if (format.bytesPerBlock == 0 || IsAstc(format)) {
        return true;
    }
    const BlockCodec* codec = FindBlockCodec(format.layout);
    return codec != nullptr && codec->encode != nullptr;
}

namespace {

// Every level's bytes, one after another; block formats' levels share the cores piece by
// piece, so that the small levels at the chain's end run beside the large ones.
std::vector<std::uint8_t> EncodeLevels(const FormatInfo& format,
                                       const std::vector<const RgbaImage*>& levels) {
    if (!CanEncode(format)) {
        return {};
    }
    std::vector<std::uint64_t> offsets;
    std::uint64_t total = 0;
    for (const RgbaImage* level : levels) {
        offsets.push_back(total);
        total += LevelSize(format, level->width, level->height);
    }
    std::vector<std::uint8_t> data(total);
    ClearUpperVectorState();
    if (format.bytesPerBlock == 0) {
        for (std::size_t i = 0; i < levels.size(); ++i) {
            PackPixels(format.layout, levels[i]->pixels.data(),
                       std::size_t{levels[i]->width} * levels[i]->height, data.data() + offsets[i]);
        }
        return data;
    }
    if (IsAstc(format)) {
        AstcEncoder encoder(format);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            if (plugin::ConversionStopRequested() ||
                !encoder.Encode(*levels[i], data.data() + offsets[i]).empty()) {
                return {};
            }
        }
        return data;
    }
    struct Piece {
        std::size_t level;
        std::size_t firstRow;
        std::size_t rows;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::size_t rows = BlockRows(format, levels[i]->height);
        for (std::size_t row = 0; row < rows; row += kRowsPerPiece) {
            pieces.push_back({i, row, std::min(kRowsPerPiece, rows - row)});
        }
    }
    const BlockEncoder encode = FindBlockCodec(format.layout)->encode;
    ParallelFor(pieces.size(), [&](std::size_t p) {
        if (plugin::ConversionStopRequested()) {
            return;  // the whole result is thrown away
        }
        const Piece& piece = pieces[p];
        EncodeBlockRows(format, *levels[piece.level], piece.firstRow, piece.rows,
                        data.data() + offsets[piece.level], encode);
    });
    return data;
}

}  // namespace

std::vector<std::uint8_t> EncodeLevel(const FormatInfo& format, const RgbaImage& image) {
    if (image.pixels.empty()) {
        return std::vector<std::uint8_t>(LevelSize(format, image.width, image.height));
    }
    return EncodeLevels(format, {&image});
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
    const std::uint32_t count = MipLevelCount(upright.width, upright.height, mipMaps);
    if (count == 0 || !CanEncode(format)) {
        return {};
    }
    std::vector<RgbaImage> levels;
    levels.reserve(count);
    levels.push_back(upright);
    FlipRows(levels.back());
    while (levels.size() < count) {
        levels.push_back(HalveImage(levels.back()));
    }
    std::vector<const RgbaImage*> pointers;
    for (const RgbaImage& level : levels) {
        pointers.push_back(&level);
    }
    return EncodeLevels(format, pointers);
}

Conversion ReplaceImage(const TextureParse& parsed, const RgbaImage& upright,
                        const FormatInfo* as) {
    if (!parsed.usable()) {
        return {{}, "The texture cannot take a new image: " + parsed.problem};
    }
    const Texture& texture = parsed.texture;
    const FormatInfo& format = as != nullptr ? *as : *texture.format;
    if (!CanEncode(format)) {
        return {{},
                std::string("Images cannot be encoded into ") + format.name +
                    " here; the texture can take a new image once it is converted to a format "
                    "with an encoder, such as RGBA32."};
    }
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
    const std::uint64_t chain = ChainSize(format, upright.width, upright.height, mipMaps);
    const std::uint64_t fieldsLength =
        texture.fields != nullptr ? texture.fields->object.size() : kHeaderSize;
    const std::uint64_t bodyLength = fieldsLength + chain + 3 + texture.trailing.size();
    if (bodyLength > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return {{}, "The texture would grow beyond 2 GiB."};
    }
    TextureHeader header = texture.header;
    header.width = upright.width;
    header.height = upright.height;
    header.completeImageSize = static_cast<std::uint32_t>(chain);
    header.imageCount = 1;
    header.format = format.id;
    header.mipCount = MipLevelCount(upright.width, upright.height, mipMaps);
    const std::vector<std::uint8_t> data = EncodeImageData(format, upright, mipMaps);
    if (data.size() != chain) {
        return {{}, std::string("The image could not be encoded into ") + format.name + "."};
    }
    if (texture.fields != nullptr) {
        return {WriteFieldTexture(*texture.fields, header, data), {}};
    }
    return {WriteTexture(header, data, texture.trailing), {}};
}

}  // namespace kestrova::texture
