#pragma once
// The 4x4 block formats of eight and sixteen bytes from the desktop's first compression
// family: DXT1 (colour with punch-through alpha), DXT5 (an alpha block and a colour block),
// BC4 (one channel, shown as red) and BC5 (two channels, shown as red and green). Each
// function takes or fills a tile of 16 RGBA pixels, row by row.

#include <cstdint>

namespace kestrova::texture {

void DecodeDxt1Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeDxt5Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeBc4Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeBc5Block(const std::uint8_t* block, std::uint8_t* tile);

// Opaque colour goes through a principal-axis fit refined by least squares (stb's encoder,
// chosen by measurement: see bench_texture); a DXT1 tile with pixels below half alpha uses the
// three-colour mode with its transparent entry (libsquish's cluster fit). One-channel blocks
// try both of their codebooks over the tile's range and keep the closer.
void EncodeDxt1Block(const std::uint8_t* tile, std::uint8_t* block);
void EncodeDxt5Block(const std::uint8_t* tile, std::uint8_t* block);
void EncodeBc4Block(const std::uint8_t* tile, std::uint8_t* block);
void EncodeBc5Block(const std::uint8_t* tile, std::uint8_t* block);

// The eight values of a one-channel block's codebook from its two end bytes: with the first
// above the second, six steps between them; otherwise four steps, then 0 and 255. ETC2's and
// EAC's decoders are separate; this one is shared by DXT5's alpha, BC4 and BC5.
void ChannelCodebook(std::uint8_t first, std::uint8_t second, std::uint8_t* codes);

}  // namespace kestrova::texture
