#include "plugins/texture/texture_high_range.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestrova::texture {

float HalfToFloat(std::uint16_t half) {
    const std::uint32_t sign = static_cast<std::uint32_t>(half >> 15) << 31;
    const std::uint32_t exponent = (half >> 10) & 31;
    const std::uint32_t mantissa = half & 1023;
    if (exponent == 0) {
        const float value = std::ldexp(static_cast<float>(mantissa), -24);
        return sign != 0 ? -value : value;
    }
    if (exponent == 31) {
        return std::bit_cast<float>(sign | 0x7F800000u | (mantissa << 13));
    }
    return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
}

std::uint16_t FloatToHalf(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000);
    if (std::isnan(value)) {
        return static_cast<std::uint16_t>(sign | 0x7E00);
    }
    const float magnitude = std::fabs(value);
    if (magnitude >= 65520.0f) {
        return static_cast<std::uint16_t>(sign | 0x7C00);
    }
    if (magnitude < 6.103515625e-05f) {  // below the smallest normal half: steps of 2^-24
        return static_cast<std::uint16_t>(sign | std::lrint(std::ldexp(magnitude, 24)));
    }
    // Round the 23-bit mantissa to 10 bits, to even on a tie; a carry moves into the exponent.
    const std::uint32_t rebased = (bits & 0x7FFFFFFF) - (112u << 23);
    const std::uint32_t rounded = rebased + 0xFFF + ((rebased >> 13) & 1);
    return static_cast<std::uint16_t>(sign | (rounded >> 13));
}

void ToneMap(const float* rgba, std::uint8_t* out) {
    float colour[3];
    float brightest = 0;
    for (int c = 0; c < 3; ++c) {
        colour[c] = rgba[c] > 0 ? rgba[c] : 0;  // NaN fails the comparison too
        brightest = std::max(brightest, colour[c]);
    }
    const float scale = brightest > 1 && std::isfinite(brightest) ? 1 / brightest : 1;
    for (int c = 0; c < 3; ++c) {
        const float v = std::isinf(colour[c]) ? 1 : std::min(colour[c] * scale, 1.0f);
        out[c] = static_cast<std::uint8_t>(v * 255 + 0.5f);
    }
    const float alpha = rgba[3] > 0 ? std::min(rgba[3], 1.0f) : 0;
    out[3] = static_cast<std::uint8_t>(alpha * 255 + 0.5f);
}

void UnpackRgb9e5(std::uint32_t word, float* rgb) {
    const int exponent = static_cast<int>(word >> 27) - 15 - 9;
    for (int c = 0; c < 3; ++c) {
        rgb[c] = std::ldexp(static_cast<float>((word >> (9 * c)) & 511), exponent);
    }
}

std::uint32_t PackRgb9e5(const float* rgb) {
    constexpr float kLargest = 511.0f / 512.0f * 65536.0f;
    float clamped[3];
    float largest = 0;
    for (int c = 0; c < 3; ++c) {
        clamped[c] = rgb[c] > 0 ? std::min(rgb[c], kLargest) : 0;
        largest = std::max(largest, clamped[c]);
    }
    int exponent =
        std::max(-16, static_cast<int>(std::floor(std::log2(std::max(largest, 1e-30f))))) + 1 + 15;
    if (std::lrint(std::ldexp(largest, -(exponent - 15 - 9))) == 512) {
        ++exponent;
    }
    std::uint32_t word = static_cast<std::uint32_t>(exponent) << 27;
    for (int c = 0; c < 3; ++c) {
        const long mantissa = std::lrint(std::ldexp(clamped[c], -(exponent - 15 - 9)));
        word |= static_cast<std::uint32_t>(std::min(mantissa, 511L)) << (9 * c);
    }
    return word;
}

}  // namespace kestrova::texture
