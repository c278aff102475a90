#pragma once
// The mobile 4x4 block formats: ETC1 (ETC_RGB4), ETC2 in its three kinds (RGB, RGB with
// punch-through alpha, RGBA with an alpha block) and EAC's one- and two-channel 11-bit blocks
// (shown as red and green, narrowed to 8 bits). Each function fills a tile of 16 RGBA pixels,
// row by row.

#include <cstdint>

namespace kestrova::texture {

void DecodeEtc1Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeEtc2RgbBlock(const std::uint8_t* block, std::uint8_t* tile);
void DecodeEtc2Rgba1Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeEtc2Rgba8Block(const std::uint8_t* block, std::uint8_t* tile);
void DecodeEacRBlock(const std::uint8_t* block, std::uint8_t* tile);
void DecodeEacRgBlock(const std::uint8_t* block, std::uint8_t* tile);

// An EAC channel block's 16 values in 11 bits (0 to 2047), row by row.
void DecodeEac11(const std::uint8_t* block, std::uint16_t* values);

}  // namespace kestrova::texture
