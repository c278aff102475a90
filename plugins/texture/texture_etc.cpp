#include "plugins/texture/texture_etc.h"

#include <algorithm>
#include <cstring>

namespace kestrova::texture {
namespace {

// The block as one big-endian 64-bit word; bit 63 is the first byte's top bit.
std::uint64_t BigEndian64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

int Bits(std::uint64_t word, int high, int count) {
    return static_cast<int>((word >> (high - count + 1)) & ((std::uint64_t{1} << count) - 1));
}

std::uint8_t Clamp255(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

int Extend4(int v) {
    return v * 17;
}
int Extend5(int v) {
    return (v << 3) | (v >> 2);
}
int Extend6(int v) {
    return (v << 2) | (v >> 4);
}
int Extend7(int v) {
    return (v << 1) | (v >> 6);
}

constexpr int kModifiers[8][2] = {{2, 8},   {5, 17},  {9, 29},   {13, 42},
                                  {18, 60}, {24, 80}, {33, 106}, {47, 183}};
constexpr int kDistances[8] = {3, 6, 11, 16, 23, 32, 41, 64};
constexpr int kEacModifiers[16][8] = {
    {-3, -6, -9, -15, 2, 5, 8, 14}, {-3, -7, -10, -13, 2, 6, 9, 12}, {-2, -5, -8, -13, 1, 4, 7, 12},
    {-2, -4, -6, -13, 1, 3, 5, 12}, {-3, -6, -8, -12, 2, 5, 7, 11},  {-3, -7, -9, -11, 2, 6, 8, 10},
    {-4, -7, -8, -11, 3, 6, 7, 10}, {-3, -5, -8, -11, 2, 4, 7, 10},  {-2, -6, -8, -10, 1, 5, 7, 9},
    {-2, -5, -8, -10, 1, 4, 7, 9},  {-2, -4, -8, -10, 1, 3, 7, 9},   {-2, -5, -7, -10, 1, 4, 6, 9},
    {-3, -4, -7, -10, 2, 3, 6, 9},  {-1, -2, -3, -10, 0, 1, 2, 9},   {-4, -6, -8, -9, 3, 5, 7, 8},
    {-3, -5, -7, -9, 2, 4, 6, 8},
};

// A pixel's 2-bit index: its high bit among bits 31..16 and its low bit among 15..0, pixels
// numbered down the columns.
int PixelIndex(std::uint64_t word, int x, int y) {
    const int bit = x * 4 + y;
    return static_cast<int>((((word >> (16 + bit)) & 1) << 1) | ((word >> bit) & 1));
}

void SetPixel(std::uint8_t* tile, int x, int y, int r, int g, int b, int a = 255) {
    std::uint8_t* p = tile + (y * 4 + x) * 4;
    p[0] = Clamp255(r);
    p[1] = Clamp255(g);
    p[2] = Clamp255(b);
    p[3] = static_cast<std::uint8_t>(a);
}

// Which kind of colour block: ETC1, or ETC2 (whose T, H and planar modes replace the
// differential blocks that overflow) with or without punch-through alpha (the differential bit
// then says "opaque", there is no individual mode, and in a block that is not opaque index 2
// is transparent and the small modifier 0).
struct Variant {
    bool etc2;
    bool punchThrough;
};

// Individual and differential blocks: two base colours over 2x4 or 4x2 halves, each moved by
// a modifier from its table.
void DecodeTwoBases(std::uint64_t w, const int (&base)[2][3], bool transparentIndex,
                    std::uint8_t* tile) {
    const bool flip = (w >> 32) & 1;
    const int tables[2] = {Bits(w, 39, 3), Bits(w, 36, 3)};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int half = flip ? (y >= 2) : (x >= 2);
            const int index = PixelIndex(w, x, y);
            const int* mods = kModifiers[tables[half]];
            if (transparentIndex && index == 2) {
                SetPixel(tile, x, y, 0, 0, 0, 0);
                continue;
            }
            int m = index & 1 ? mods[1] : mods[0];
            if (transparentIndex && index == 0) {
                m = 0;
            }
            if (index & 2) {
                m = -m;
            }
            SetPixel(tile, x, y, base[half][0] + m, base[half][1] + m, base[half][2] + m);
        }
    }
}

void DecodePaintColours(std::uint64_t w, const int (&paint)[4][3], bool transparentIndex,
                        std::uint8_t* tile) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int index = PixelIndex(w, x, y);
            if (transparentIndex && index == 2) {
                SetPixel(tile, x, y, 0, 0, 0, 0);
            } else {
                SetPixel(tile, x, y, paint[index][0], paint[index][1], paint[index][2]);
            }
        }
    }
}

void DecodeT(std::uint64_t w, bool transparentIndex, std::uint8_t* tile) {
    const int first[3] = {Extend4((Bits(w, 60, 2) << 2) | Bits(w, 57, 2)), Extend4(Bits(w, 55, 4)),
                          Extend4(Bits(w, 51, 4))};
    const int second[3] = {Extend4(Bits(w, 47, 4)), Extend4(Bits(w, 43, 4)),
                           Extend4(Bits(w, 39, 4))};
    const int d = kDistances[(Bits(w, 35, 2) << 1) | Bits(w, 32, 1)];
    int paint[4][3];
    for (int c = 0; c < 3; ++c) {
        paint[0][c] = first[c];
        paint[1][c] = second[c] + d;
        paint[2][c] = second[c];
        paint[3][c] = second[c] - d;
    }
    DecodePaintColours(w, paint, transparentIndex, tile);
}

void DecodeH(std::uint64_t w, bool transparentIndex, std::uint8_t* tile) {
    const int first[3] = {Extend4(Bits(w, 62, 4)), Extend4((Bits(w, 58, 3) << 1) | Bits(w, 52, 1)),
                          Extend4((Bits(w, 51, 1) << 3) | Bits(w, 49, 3))};
    const int second[3] = {Extend4(Bits(w, 46, 4)), Extend4(Bits(w, 42, 4)),
                           Extend4(Bits(w, 38, 4))};
    const int firstValue = (first[0] << 16) | (first[1] << 8) | first[2];
    const int secondValue = (second[0] << 16) | (second[1] << 8) | second[2];
    const int d = kDistances[(Bits(w, 34, 1) << 2) | (Bits(w, 32, 1) << 1) |
                             (firstValue >= secondValue ? 1 : 0)];
    int paint[4][3];
    for (int c = 0; c < 3; ++c) {
        paint[0][c] = first[c] + d;
        paint[1][c] = first[c] - d;
        paint[2][c] = second[c] + d;
        paint[3][c] = second[c] - d;
    }
    DecodePaintColours(w, paint, transparentIndex, tile);
}

void DecodePlanar(std::uint64_t w, std::uint8_t* tile) {
    const int o[3] = {Extend6(Bits(w, 62, 6)), Extend7((Bits(w, 56, 1) << 6) | Bits(w, 54, 6)),
                      Extend6((Bits(w, 48, 1) << 5) | (Bits(w, 44, 2) << 3) | Bits(w, 41, 3))};
    const int h[3] = {Extend6((Bits(w, 38, 5) << 1) | Bits(w, 32, 1)), Extend7(Bits(w, 31, 7)),
                      Extend6(Bits(w, 24, 6))};
    const int v[3] = {Extend6(Bits(w, 18, 6)), Extend7(Bits(w, 12, 7)), Extend6(Bits(w, 5, 6))};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            int c[3];
            for (int k = 0; k < 3; ++k) {
                c[k] = (x * (h[k] - o[k]) + y * (v[k] - o[k]) + 4 * o[k] + 2) >> 2;
            }
            SetPixel(tile, x, y, c[0], c[1], c[2]);
        }
    }
}

void DecodeColour(const std::uint8_t* block, std::uint8_t* tile, Variant variant) {
    const std::uint64_t w = BigEndian64(block);
    const bool differentialBit = (w >> 33) & 1;
    const bool differential = variant.punchThrough || differentialBit;
    const bool transparentIndex = variant.punchThrough && !differentialBit;
    int base[2][3];
    if (!differential) {
        for (int c = 0; c < 3; ++c) {
            base[0][c] = Extend4(Bits(w, 63 - 8 * c, 4));
            base[1][c] = Extend4(Bits(w, 59 - 8 * c, 4));
        }
        DecodeTwoBases(w, base, false, tile);
        return;
    }
    int sums[3];
    for (int c = 0; c < 3; ++c) {
        const int first = Bits(w, 63 - 8 * c, 5);
        const int delta = Bits(w, 58 - 8 * c, 3);
        sums[c] = first + (delta >= 4 ? delta - 8 : delta);
        base[0][c] = Extend5(first);
        base[1][c] = Extend5(sums[c] & 31);
    }
    if (variant.etc2 && (sums[0] < 0 || sums[0] > 31)) {
        DecodeT(w, transparentIndex, tile);
    } else if (variant.etc2 && (sums[1] < 0 || sums[1] > 31)) {
        DecodeH(w, transparentIndex, tile);
    } else if (variant.etc2 && (sums[2] < 0 || sums[2] > 31)) {
        DecodePlanar(w, tile);
    } else {
        DecodeTwoBases(w, base, transparentIndex, tile);
    }
}

// An 8-byte EAC block's values for each pixel, `eleven` bits wide or the alpha block's eight.
void DecodeEacValues(const std::uint8_t* block, bool eleven, int* values) {
    const std::uint64_t w = BigEndian64(block);
    const int base = Bits(w, 63, 8);
    const int multiplier = Bits(w, 55, 4);
    const int* mods = kEacModifiers[Bits(w, 51, 4)];
    for (int x = 0; x < 4; ++x) {
        for (int y = 0; y < 4; ++y) {
            const int m = mods[Bits(w, 47 - 3 * (x * 4 + y), 3)];
            int v;
            if (!eleven) {
                v = std::clamp(base + m * multiplier, 0, 255);
            } else if (multiplier == 0) {
                v = std::clamp(base * 8 + 4 + m, 0, 2047);
            } else {
                v = std::clamp(base * 8 + 4 + m * multiplier * 8, 0, 2047);
            }
            values[y * 4 + x] = v;
        }
    }
}

void DecodeEacChannel(const std::uint8_t* block, std::uint8_t* tile, int channel) {
    int values[16];
    DecodeEacValues(block, true, values);
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + channel] = static_cast<std::uint8_t>(values[i] >> 3);
    }
}

}  // namespace

void DecodeEtc1Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block, tile, {false, false});
}

void DecodeEtc2RgbBlock(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block, tile, {true, false});
}

void DecodeEtc2Rgba1Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block, tile, {true, true});
}

void DecodeEtc2Rgba8Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block + 8, tile, {true, false});
    int alpha[16];
    DecodeEacValues(block, false, alpha);
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + 3] = static_cast<std::uint8_t>(alpha[i]);
    }
}

void DecodeEacRBlock(const std::uint8_t* block, std::uint8_t* tile) {
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + 1] = tile[i * 4 + 2] = 0;
        tile[i * 4 + 3] = 255;
    }
    DecodeEacChannel(block, tile, 0);
}

void DecodeEacRgBlock(const std::uint8_t* block, std::uint8_t* tile) {
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + 2] = 0;
        tile[i * 4 + 3] = 255;
    }
    DecodeEacChannel(block, tile, 0);
    DecodeEacChannel(block + 8, tile, 1);
}

void DecodeEac11(const std::uint8_t* block, std::uint16_t* values) {
    int v[16];
    DecodeEacValues(block, true, v);
    for (int i = 0; i < 16; ++i) {
        values[i] = static_cast<std::uint16_t>(v[i]);
    }
}

}  // namespace kestrova::texture
