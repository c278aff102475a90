#pragma once
// What every block format shares: walking a level block by block, the tiles at the image's
// right and bottom edges, and spreading encoding work over the machine's cores.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "plugins/texture/texture_format.h"
#include "plugins/texture/texture_image.h"

namespace kestrova::texture {

// Fills a tile of blockWidth x blockHeight RGBA pixels, row by row, from one block's bytes.
using BlockDecoder = void (*)(const std::uint8_t* block, std::uint8_t* tile);
// Writes one block's bytes for a tile of blockWidth x blockHeight RGBA pixels.
using BlockEncoder = void (*)(const std::uint8_t* tile, std::uint8_t* block);

// Decodes every block of `stored` (LevelSize bytes) into `image`, whose sides are the level's;
// the parts of edge tiles outside the image are dropped.
void DecodeBlocks(const FormatInfo& format, std::span<const std::uint8_t> stored, RgbaImage& image,
                  BlockDecoder decode);

// The number of block rows of a level.
std::size_t BlockRows(const FormatInfo& format, std::uint32_t height);
// Encodes the block rows [firstRow, firstRow + rowCount) of `image` into `level`, the level's
// LevelSize bytes. Edge tiles repeat the image's last column and row.
void EncodeBlockRows(const FormatInfo& format, const RgbaImage& image, std::size_t firstRow,
                     std::size_t rowCount, std::uint8_t* level, BlockEncoder encode);

// Code that leaves the upper halves of the 256-bit vector registers in use (Qt's image
// conversions do) makes every later 128-bit vector instruction on this thread wait on them on
// some processors: the codecs ran at 60 % of their speed after a PNG was read. Clears them
// where the processor has them; call before a long run of decoding or encoding.
void ClearUpperVectorState();

// Runs work(0) … work(count - 1) on every core, each index once; returns when all are done.
void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace kestrova::texture
