#pragma once
// Colour beyond 8 bits: half floats, and the tone mapping that shows high-range pixels in
// 8 bits. Values from 0 to 1 keep their level (so an 8-bit picture stored in a float format
// comes back unchanged); a pixel whose brightest colour channel exceeds 1 is scaled down until
// that channel is 1, which keeps its hue; negative values and NaN show as 0. Alpha is clamped.

#include <cstdint>

namespace kestrova::texture {

float HalfToFloat(std::uint16_t half);
// Rounds to the nearest half; values beyond the largest half become infinity.
std::uint16_t FloatToHalf(float value);

// `rgba` in linear floats to 8-bit RGBA.
void ToneMap(const float* rgba, std::uint8_t* out);

// The shared-exponent 9e5 word to floats and back (red, green, blue).
void UnpackRgb9e5(std::uint32_t word, float* rgb);
std::uint32_t PackRgb9e5(const float* rgb);

}  // namespace kestrova::texture
