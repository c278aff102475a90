#pragma once
// The 16-byte 4x4 block formats with partitions: BC7 (8-bit RGBA in eight modes) and BC6H
// (unsigned half-float RGB in fourteen modes, tone-mapped to 8 bits as texture_high_range.h
// says). Reserved modes decode as the formats define them: BC7 to transparent black, BC6H to
// opaque black. Each function fills a tile of 16 RGBA pixels, row by row.

#include <cstdint>

namespace kestrova::texture {

void DecodeBc7Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeBc6hBlock(const std::uint8_t* block, std::uint8_t* tile);

// BC6H's colour before tone mapping: 16 pixels of red, green and blue as half-float bits.
void DecodeBc6hHalves(const std::uint8_t* block, std::uint16_t* rgb);

}  // namespace kestrova::texture
