#include "plugins/texture/texture_format.h"

#include <algorithm>
#include <iterator>

namespace kestrova::texture {
namespace {

constexpr FormatInfo kFormats[] = {
    {1, "Alpha8", PixelLayout::Alpha8, 1, 0, true},
    {2, "ARGB4444", PixelLayout::Argb4444, 2, 0, true},
    {3, "RGB24", PixelLayout::Rgb24, 3, 0, false},
    {4, "RGBA32", PixelLayout::Rgba32, 4, 0, true},
    {5, "ARGB32", PixelLayout::Argb32, 4, 0, true},
    {7, "RGB565", PixelLayout::Rgb565, 2, 0, false},
    {10, "DXT1", PixelLayout::Dxt1, 0, 8, true},
    {12, "DXT5", PixelLayout::Dxt5, 0, 16, true},
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

std::string FormatName(std::uint32_t id) {
    const FormatInfo* format = FindFormat(id);
    return format != nullptr ? format->name : "format " + std::to_string(id);
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
        const std::uint64_t across = std::max<std::uint64_t>(1, (std::uint64_t{width} + 3) / 4);
        const std::uint64_t down = std::max<std::uint64_t>(1, (std::uint64_t{height} + 3) / 4);
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
