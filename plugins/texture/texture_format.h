#pragma once
// The pixel formats a Texture2D may store and the byte sizes of its levels. All sizes are
// computed in 64 bits, so that no width, height or level count from a file can make them wrap.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::texture {

enum class PixelLayout {
    Alpha8,    // one alpha byte
    Argb4444,  // little-endian word: alpha in the top four bits, then red, green, blue
    Rgb24,     // R, G, B
    Rgba32,    // R, G, B, A
    Argb32,    // A, R, G, B
    Rgb565,    // little-endian word: red in the top five bits, then six of green, five of blue
    Dxt1,      // 4x4 blocks of 8 bytes
    Dxt5,      // 4x4 blocks of 16 bytes
};

struct FormatInfo {
    std::uint32_t id;  // the value of the texture's format field
    const char* name;
    PixelLayout layout;
    std::uint32_t bytesPerPixel;  // 0 for block formats
    std::uint32_t bytesPerBlock;  // 0 for pixel formats
    bool hasAlpha;
};

// The format with the field value `id`, or null for a format this plug-in does not know.
const FormatInfo* FindFormat(std::uint32_t id);
// "DXT5" for a known format, "format 13" for any other.
std::string FormatName(std::uint32_t id);
// The names of every known format, for messages: "Alpha8, ARGB4444, ... and DXT5".
std::string KnownFormatNames();

// The largest side a texture may have here; larger sides are taken for damage.
inline constexpr std::uint32_t kMaxSide = 8192;

// One level of a mip chain and where it lies in an image's data.
struct MipLevel {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Bytes of one level: pixels times their size, or whole 4x4 blocks (at least one).
std::uint64_t LevelSize(const FormatInfo& format, std::uint32_t width, std::uint32_t height);

// The levels of one image, largest first. With mip maps, each level halves both sides (never
// below 1) down to 1x1; without, there is one level. A side of 0 gives no levels at all.
std::vector<MipLevel> MipChain(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                               bool mipMaps);
std::uint64_t ChainSize(const FormatInfo& format, std::uint32_t width, std::uint32_t height,
                        bool mipMaps);
// The number of levels MipChain gives, without needing a format.
std::uint32_t MipLevelCount(std::uint32_t width, std::uint32_t height, bool mipMaps);

}  // namespace kestrova::texture
