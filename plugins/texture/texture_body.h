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
//
// Later engine versions (from 5.2) lay the fields out differently and may keep the pixels in a
// resource file beside the asset file or in its bundle; ParseTexture with a TextureContext reads
// those through the file's type tree or the engine version's layout (texture_fields.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plugins/texture/texture_format.h"
#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::texture {

// Reads `out.size()` bytes at `offset` of the resource file `path` (as the texture names it);
// a KESTROVA_STREAM_... status of kestrova_plugin.h.
using StreamReader = std::function<std::int32_t(const std::string& path, std::uint64_t offset,
                                                std::span<std::uint8_t> out)>;

// What the host says of the asset beside its body.
struct TextureContext {
    std::string engineVersion;  // "" when unknown
    ByteOrder order = ByteOrder::Little;
    std::vector<std::uint8_t> namePrefix;  // the m_Name field the host keeps apart
    std::optional<TypeTree> tree;          // the file's own, when it keeps one
    std::string treeError;                 // why the tree the host gave cannot be used
    StreamReader readStream;               // empty when the host reads no resource files
};

// Where streamed pixels lie: m_StreamData.
struct StreamReference {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::string path;

    bool used() const { return size > 0 || !path.empty(); }
};

struct FieldTexture;

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
    // The levels each image stores: the whole chain or 1 in the early layout, m_MipCount later.
    std::uint32_t mipCount = 0;
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
    // A later layout: the object read through its fields, for writing it back; null for the
    // early layout.
    std::shared_ptr<const FieldTexture> fields;
    StreamReference stream;  // where the pixels were read from, when they are streamed
    // Holds streamed pixels, which `imageData` then views.
    std::shared_ptr<const std::vector<std::uint8_t>> streamed;

    bool empty() const { return levels.empty() || header.imageCount == 0; }
    bool isStreamed() const { return streamed != nullptr; }
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
// The body as `context` describes it: through the file's type tree when it keeps one, by the
// engine version's layout from 5.2 on, and as above otherwise. Streamed pixels are read through
// the context; a reference that lies outside its file or names a missing one is refused.
TextureParse ParseTexture(std::span<const std::uint8_t> body, const TextureContext& context);

// A body with `header` and `imageData`, padding to a multiple of 4 and `trailing` after it.
std::vector<std::uint8_t> WriteTexture(const TextureHeader& header,
                                       std::span<const std::uint8_t> imageData,
                                       std::span<const std::uint8_t> trailing);

// Checks the fields of `t` against image data of `dataLength` bytes and sets its format and
// levels; why they do not fit, or empty when they do.
std::string CheckLayout(Texture& t, std::uint64_t dataLength);

// "Width: 256 · Height: 256 · Format: DXT5 · Mip levels: 9", as the panel shows the fields, and
// where the pixels are stored.
std::string DescribeTexture(const Texture& texture);

}  // namespace kestrova::texture
