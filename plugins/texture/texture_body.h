#pragma once
// The body of a Texture2D asset (its data after the name prefix), all little-endian:
//
//   width, height, complete image size, format                      32-bit each
//   mip maps, readable, read allowed, pad                            one byte each
//   image count, dimension, filter mode, aniso level, mip bias,
//   wrap mode, lightmap format, colour space                         32-bit each (bias a float)
//   image data length, then that many bytes: every image's levels, largest first
//   zero bytes up to a multiple of 4, then whatever else follows (kept as it is)
//
// What the 79 textures of the sample games show, and what is checked here: the complete image
// size is the byte count of one image's whole mip chain; the data holds image count times that
// (the count is 1 for every texture with pixels, 0 for the one empty 0x0 texture); with the mip
// flag set the chain halves both sides down to 1x1; every level is stored tightly (no row
// padding), block formats in whole 4x4 blocks; rows run from the image's bottom to its top;
// dimension is always 2. Nothing follows the padding in those files.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plugins/texture/texture_format.h"

namespace kestrova::texture {

// Sequential little-endian reads from untrusted bytes. A read that does not fit fails and
// leaves the position where it was; no bound is ever computed in a way that can wrap.
class BodyReader {
public:
    explicit BodyReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t remaining() const { return bytes_.size() - position_; }
    bool ReadByte(std::uint8_t& value);
    bool ReadLittleEndian32(std::uint32_t& value);
    // The next `count` bytes as a view, or an empty view and false when they do not all fit.
    bool ReadView(std::uint64_t count, std::span<const std::uint8_t>& view);

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
};

struct TextureHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t completeImageSize = 0;
    std::uint32_t format = 0;
    std::uint8_t mipMaps = 0;
    std::uint8_t readable = 0;
    std::uint8_t readAllowed = 0;
    std::uint8_t padByte = 0;
    std::uint32_t imageCount = 0;
    std::uint32_t dimension = 0;
    std::uint32_t filterMode = 0;
    std::uint32_t anisoLevel = 0;
    std::uint32_t mipBiasBits = 0;  // a float, kept as its bits so it is written back unchanged
    std::uint32_t wrapMode = 0;
    std::uint32_t lightmapFormat = 0;
    std::uint32_t colorSpace = 0;
};

inline constexpr std::uint32_t kHeaderSize = 56;  // the fields and the data length
inline constexpr std::uint32_t kDimension2D = 2;

// A parsed body. The views point into the bytes that were parsed.
struct Texture {
    TextureHeader header;
    std::span<const std::uint8_t> imageData;
    std::span<const std::uint8_t> trailing;  // bytes after the padding
    const FormatInfo* format = nullptr;      // set once the layout checks out
    std::vector<MipLevel> levels;            // one image's levels

    bool empty() const { return levels.empty() || header.imageCount == 0; }
};

struct TextureParse {
    bool headerRead = false;  // the fields could be read, so they can be shown
    Texture texture;
    std::string problem;  // why the texture cannot be used; empty when it can

    bool usable() const { return headerRead && problem.empty(); }
};

// Reads the fields and checks that they describe data the body really holds in a known format. A
// body of another layout (a dimension other than 2D, or sizes that do not fit its known format:
// a later engine version's Texture2D) is refused without its fields.
TextureParse ParseTexture(std::span<const std::uint8_t> body);

// A body with `header` and `imageData`, padding to a multiple of 4 and `trailing` after it.
std::vector<std::uint8_t> WriteTexture(const TextureHeader& header,
                                       std::span<const std::uint8_t> imageData,
                                       std::span<const std::uint8_t> trailing);

// "Width: 256 · Height: 256 · Format: DXT5 · Mip levels: 9", as the panel shows the fields.
std::string DescribeTexture(const TextureHeader& header);

}  // namespace kestrova::texture
