#pragma once
// The pixel formats a Texture2D may store and the byte sizes of its levels. All sizes are
// computed in 64 bits, so that no width, height or level count from a file can make them wrap.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::texture {

enum class PixelLayout {
    Alpha8,     // one alpha byte
    R8,         // one red byte
    R16,        // little-endian 16-bit red
    Rg16,       // R, G: a byte each
    Argb4444,   // little-endian word: alpha in the top four bits, then red, green, blue
    Rgba4444,   // little-endian word: red in the top four bits, then green, blue, alpha
    Rgb24,      // R, G, B
    Rgba32,     // R, G, B, A
    Argb32,     // A, R, G, B
    Bgra32,     // B, G, R, A
    Rgb565,     // little-endian word: red in the top five bits, then six of green, five of blue
    RHalf,      // 16-bit floats: red
    RgHalf,     // red, green
    RgbaHalf,   // red, green, blue, alpha
    RFloat,     // 32-bit floats: red
    RgFloat,    // red, green
    RgbaFloat,  // red, green, blue, alpha
    Rgb9e5,     // little-endian word: nine-bit red, green, blue mantissas, five-bit exponent
    Dxt1,       // BC1: 4x4 blocks of 8 bytes
    Dxt5,       // BC3: 4x4 blocks of 16 bytes
    Bc4,        // one channel, 4x4 blocks of 8 bytes
    Bc5,        // two channels, 4x4 blocks of 16 bytes
    Bc6h,       // unsigned half-float colour, 4x4 blocks of 16 bytes
    Bc7,        // 4x4 blocks of 16 bytes
    EtcRgb4,    // 4x4 blocks of 8 bytes
    Etc2Rgb,    // 4x4 blocks of 8 bytes
    Etc2Rgba1,  // 4x4 blocks of 8 bytes with punch-through alpha
    Etc2Rgba8,  // an 8-byte alpha block, then an 8-byte colour block
    EacR,       // 4x4 blocks of 8 bytes, 11-bit red
    EacRg,      // two 8-byte blocks: red, green
    Astc,       // blocks of 16 bytes over blockWidth x blockHeight pixels
    AstcHdr,    // the same with high-range colour
};

struct FormatInfo {
    std::uint32_t id;  // the value of the texture's format field
    const char* name;
    PixelLayout layout;
    std::uint32_t bytesPerPixel;  // 0 for block formats
    std::uint32_t bytesPerBlock;  // 0 for pixel formats
    bool hasAlpha;
    std::uint32_t blockWidth = 1;  // pixels a block covers; 1 for pixel formats
    std::uint32_t blockHeight = 1;
    // Colour beyond 0..1: shown and exported tone-mapped to 8 bits.
    bool highRange = false;
};

// The format with the field value `id`, or null for a format this plug-in cannot decode.
const FormatInfo* FindFormat(std::uint32_t id);
// The crunched formats are known by name but stored as a variable-length stream no decoder
// here reads.
bool IsCrunchedFormat(std::uint32_t id);
// "DXT5" for a known or crunched format, "format 6" for any other.
std::string FormatName(std::uint32_t id);
// The names of every decodable format, for messages: "Alpha8, ARGB4444, ... and ASTC_HDR_12x12".
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

// Bytes of one level: pixels times their size, or whole blocks (at least one).
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
