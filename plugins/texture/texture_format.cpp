#include "plugins/texture/texture_format.h"

#include <algorithm>
#include <iterator>

namespace kestrova::texture {
namespace {

constexpr FormatInfo kFormats[] = {
    {1, "Alpha8", PixelLayout::Alpha8, 1, 0, true, 1, 1, false},
    {2, "ARGB4444", PixelLayout::Argb4444, 2, 0, true, 1, 1, false},
    {3, "RGB24", PixelLayout::Rgb24, 3, 0, false, 1, 1, false},
    {4, "RGBA32", PixelLayout::Rgba32, 4, 0, true, 1, 1, false},
    {5, "ARGB32", PixelLayout::Argb32, 4, 0, true, 1, 1, false},
    {7, "RGB565", PixelLayout::Rgb565, 2, 0, false, 1, 1, false},
    {9, "R16", PixelLayout::R16, 2, 0, false, 1, 1, false},
    {10, "DXT1", PixelLayout::Dxt1, 0, 8, true, 4, 4, false},
    {12, "DXT5", PixelLayout::Dxt5, 0, 16, true, 4, 4, false},
    {13, "RGBA4444", PixelLayout::Rgba4444, 2, 0, true, 1, 1, false},
    {14, "BGRA32", PixelLayout::Bgra32, 4, 0, true, 1, 1, false},
    {15, "RHalf", PixelLayout::RHalf, 2, 0, false, 1, 1, true},
    {16, "RGHalf", PixelLayout::RgHalf, 4, 0, false, 1, 1, true},
    {17, "RGBAHalf", PixelLayout::RgbaHalf, 8, 0, true, 1, 1, true},
    {18, "RFloat", PixelLayout::RFloat, 4, 0, false, 1, 1, true},
    {19, "RGFloat", PixelLayout::RgFloat, 8, 0, false, 1, 1, true},
    {20, "RGBAFloat", PixelLayout::RgbaFloat, 16, 0, true, 1, 1, true},
    {22, "RGB9e5Float", PixelLayout::Rgb9e5, 4, 0, false, 1, 1, true},
    {24, "BC6H", PixelLayout::Bc6h, 0, 16, false, 4, 4, true},
    {25, "BC7", PixelLayout::Bc7, 0, 16, true, 4, 4, false},
    {26, "BC4", PixelLayout::Bc4, 0, 8, false, 4, 4, false},
    {27, "BC5", PixelLayout::Bc5, 0, 16, false, 4, 4, false},
    {34, "ETC_RGB4", PixelLayout::EtcRgb4, 0, 8, false, 4, 4, false},
    {41, "EAC_R", PixelLayout::EacR, 0, 8, false, 4, 4, false},
    {43, "EAC_RG", PixelLayout::EacRg, 0, 16, false, 4, 4, false},
    {45, "ETC2_RGB", PixelLayout::Etc2Rgb, 0, 8, false, 4, 4, false},
    {46, "ETC2_RGBA1", PixelLayout::Etc2Rgba1, 0, 8, true, 4, 4, false},
    {47, "ETC2_RGBA8", PixelLayout::Etc2Rgba8, 0, 16, true, 4, 4, false},
    {48, "ASTC_RGB_4x4", PixelLayout::Astc, 0, 16, false, 4, 4, false},
    {49, "ASTC_RGB_5x5", PixelLayout::Astc, 0, 16, false, 5, 5, false},
    {50, "ASTC_RGB_6x6", PixelLayout::Astc, 0, 16, false, 6, 6, false},
    {51, "ASTC_RGB_8x8", PixelLayout::Astc, 0, 16, false, 8, 8, false},
    {52, "ASTC_RGB_10x10", PixelLayout::Astc, 0, 16, false, 10, 10, false},
    {53, "ASTC_RGB_12x12", PixelLayout::Astc, 0, 16, false, 12, 12, false},
    {54, "ASTC_RGBA_4x4", PixelLayout::Astc, 0, 16, true, 4, 4, false},
    {55, "ASTC_RGBA_5x5", PixelLayout::Astc, 0, 16, true, 5, 5, false},
    {56, "ASTC_RGBA_6x6", PixelLayout::Astc, 0, 16, true, 6, 6, false},
    {57, "ASTC_RGBA_8x8", PixelLayout::Astc, 0, 16, true, 8, 8, false},
    {58, "ASTC_RGBA_10x10", PixelLayout::Astc, 0, 16, true, 10, 10, false},
    {59, "ASTC_RGBA_12x12", PixelLayout::Astc, 0, 16, true, 12, 12, false},
    {62, "RG16", PixelLayout::Rg16, 2, 0, false, 1, 1, false},
    {63, "R8", PixelLayout::R8, 1, 0, false, 1, 1, false},
    {66, "ASTC_HDR_4x4", PixelLayout::AstcHdr, 0, 16, true, 4, 4, true},
    {67, "ASTC_HDR_5x5", PixelLayout::AstcHdr, 0, 16, true, 5, 5, true},
    {68, "ASTC_HDR_6x6", PixelLayout::AstcHdr, 0, 16, true, 6, 6, true},
    {69, "ASTC_HDR_8x8", PixelLayout::AstcHdr, 0, 16, true, 8, 8, true},
    {70, "ASTC_HDR_10x10", PixelLayout::AstcHdr, 0, 16, true, 10, 10, true},
    {71, "ASTC_HDR_12x12", PixelLayout::AstcHdr, 0, 16, true, 12, 12, true},
};

struct CrunchedFormat {
    std::uint32_t id;
    const char* name;
};
constexpr CrunchedFormat kCrunched[] = {
    {28, "DXT1Crunched"},
    {29, "DXT5Crunched"},
    {64, "ETC_RGB4Crunched"},
    {65, "ETC2_RGBA8Crunched"},
};

std::uint32_t HalfSide(std::uint32_t side) {
    return std::max<std::uint32_t>(1, side / 2);
}

}  // namespace

const FormatInfo* FindFormat(std::uint32_t id) {
    auto found = std::find_if(std::begin(kFormats), std::end(kFormats),
                              [id](const FormatInfo& f) { return f.id == id; });
    return found == std::end(kFormats) ? nullptr : found;
}

bool IsCrunchedFormat(std::uint32_t id) {
    return std::any_of(std::begin(kCrunched), std::end(kCrunched),
                       [id](const CrunchedFormat& f) { return f.id == id; });
}

std::string FormatName(std::uint32_t id) {
    if (const FormatInfo* format = FindFormat(id)) {
        return format->name;
    }
    for (const CrunchedFormat& crunched : kCrunched) {
        if (crunched.id == id) {
            return crunched.name;
        }
    }
    return "format " + std::to_string(id);
}

std::string KnownFormatNames() {
    std::string names;
    const std::size_t count = std::size(kFormats);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            names += i + 1 == count ? " and " : ", ";
        }
        names += kFormats[i].name;
    }
    return names;
}

std::uint64_t LevelSize(const FormatInfo& format, std::uint32_t width, std::uint32_t height) {
    if (format.bytesPerBlock != 0) {
        const std::uint64_t bw = format.blockWidth;
        const std::uint64_t bh = format.blockHeight;
        const std::uint64_t across = std::max<std::uint64_t>(1, (width + bw - 1) / bw);
        const std::uint64_t down = std::max<std::uint64_t>(1, (height + bh - 1) / bh);
        return across * down * format.bytesPerBlock;
    }
    return std::uint64_t{width} * height * format.bytesPerPixel;
}

std::uint32_t MipLevelCount(std::uint32_t width, std::uint32_t height, bool mipMaps) {
    if (width == 0 || height == 0) {
        return 0;
    }
    std::uint32_t count = 1;
    while (mipMaps && (width > 1 || height > 1)) {
        width = HalfSide(width);
        height = HalfSide(height);
        ++count;
    }
    return count;
}

std::vector<MipLevel> MipChain(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                               bool mipMaps) {
    std::vector<MipLevel> levels(MipLevelCount(width, height, mipMaps));
    std::uint64_t offset = 0;
    for (MipLevel& level : levels) {
        level = {width, height, offset, LevelSize(format, width, height)};
        offset += level.size;
        width = HalfSide(width);
        height = HalfSide(height);
    }
    return levels;
}

std::uint64_t ChainSize(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                        bool mipMaps) {
    const std::vector<MipLevel> levels = MipChain(format, width, height, mipMaps);
    return levels.empty() ? 0 : levels.back().offset + levels.back().size;
}

}  // namespace kestrova::texture
