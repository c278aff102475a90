#include "plugins/texture/texture_bc.h"

#include <squish.h>
#include <stb/stb_dxt.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrova::texture {
namespace {

std::uint32_t Word16(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8);
}

void Unpack565(std::uint32_t w, std::uint8_t* rgba) {
    const std::uint32_t r = w >> 11;
    const std::uint32_t g = (w >> 5) & 63;
    const std::uint32_t b = w & 31;
    rgba[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
    rgba[1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
    rgba[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
    rgba[3] = 255;
}

// The palette of two 5:6:5 end colours: four colours, or in the three-colour mode (DXT1 with
// the first end not above the second) three and transparent black. Returns how many are
// colours.
int Palette(std::uint32_t a, std::uint32_t b, bool threeColourAllowed, std::uint8_t (*colours)[4]) {
    Unpack565(a, colours[0]);
    Unpack565(b, colours[1]);
    const bool threeColour = threeColourAllowed && a <= b;
    for (int c = 0; c < 3; ++c) {
        const int x = colours[0][c];
        const int y = colours[1][c];
        colours[2][c] = static_cast<std::uint8_t>(threeColour ? (x + y) / 2 : (2 * x + y) / 3);
        colours[3][c] = static_cast<std::uint8_t>(threeColour ? 0 : (x + 2 * y) / 3);
    }
    colours[2][3] = 255;
    colours[3][3] = threeColour ? 0 : 255;
    return threeColour ? 3 : 4;
}

// The colour half of a block: two 5:6:5 end colours and 2-bit indices.
void DecodeColour(const std::uint8_t* block, std::uint8_t* tile, bool threeColourAllowed) {
    std::uint8_t colours[4][4];
    Palette(Word16(block), Word16(block + 2), threeColourAllowed, colours);
    std::uint32_t indices = Word16(block + 4) | (Word16(block + 6) << 16);
    for (int i = 0; i < 16; ++i, indices >>= 2) {
        std::memcpy(tile + i * 4, colours[indices & 3], 4);
    }
}

// A one-channel block into channel `channel` of the tile.
void DecodeChannel(const std::uint8_t* block, std::uint8_t* tile, int channel) {
    std::uint8_t codes[8];
    ChannelCodebook(block[0], block[1], codes);
    std::uint64_t indices = 0;
    for (int i = 7; i >= 2; --i) {
        indices = (indices << 8) | block[i];
    }
    for (int i = 0; i < 16; ++i, indices >>= 3) {
        tile[i * 4 + channel] = codes[indices & 7];
    }
}

void SetChannels(std::uint8_t* tile, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha) {
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + 1] = green;
        tile[i * 4 + 2] = blue;
        tile[i * 4 + 3] = alpha;
    }
}

// Squared error of the tile's channel against a codebook, and the indices that reach it.
int FitCodebook(const std::uint8_t* values, const std::uint8_t* codes, std::uint8_t* indices) {
    int total = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 1 << 30;
        for (int k = 0; k < 8; ++k) {
            const int d = values[i] - codes[k];
            if (d * d < best) {
                best = d * d;
                indices[i] = static_cast<std::uint8_t>(k);
            }
        }
        total += best;
    }
    return total;
}

// One channel (every fourth byte of the tile from `channel`) into an 8-byte block.
void EncodeChannel(const std::uint8_t* tile, int channel, std::uint8_t* block) {
    std::uint8_t values[16];
    int low = 255;
    int high = 0;
    int innerLow = 255;  // the range without the ends, which the six-step codebook has as such
    int innerHigh = 0;
    for (int i = 0; i < 16; ++i) {
        const int v = tile[i * 4 + channel];
        values[i] = static_cast<std::uint8_t>(v);
        low = std::min(low, v);
        high = std::max(high, v);
        if (v != 0 && v != 255) {
            innerLow = std::min(innerLow, v);
            innerHigh = std::max(innerHigh, v);
        }
    }
    if (innerLow > innerHigh) {
        innerLow = innerHigh = 0;
    }
    const std::uint8_t ends[2][2] = {
        {static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low)},
        {static_cast<std::uint8_t>(innerLow), static_cast<std::uint8_t>(innerHigh)},
    };
    int bestError = 1 << 30;
    std::uint8_t bestIndices[16] = {};
    for (const auto& end : ends) {
        std::uint8_t codes[8];
        std::uint8_t indices[16];
        ChannelCodebook(end[0], end[1], codes);
        const int error = FitCodebook(values, codes, indices);
        if (error < bestError) {
            bestError = error;
            block[0] = end[0];
            block[1] = end[1];
            std::memcpy(bestIndices, indices, 16);
        }
    }
    std::uint64_t packed = 0;
    for (int i = 15; i >= 0; --i) {
        packed = (packed << 3) | bestIndices[i];
    }
    for (int i = 2; i < 8; ++i, packed >>= 8) {
        block[i] = static_cast<std::uint8_t>(packed);
    }
}

// Writes the colour half of a block with end colours `a` and `b` and, for each pixel, the
// closest of their palette's opaque colours; returns the squared error.
int FitColour(const std::uint8_t* tile, std::uint32_t a, std::uint32_t b, bool threeColourAllowed,
              std::uint8_t* block) {
    std::uint8_t colours[4][4];
    const int count = Palette(a, b, threeColourAllowed, colours);
    std::uint32_t indices = 0;
    int total = 0;
    for (int i = 15; i >= 0; --i) {
        const std::uint8_t* p = tile + i * 4;
        int best = 1 << 30;
        int chosen = 0;
        for (int k = 0; k < count; ++k) {
            const int dr = p[0] - colours[k][0];
            const int dg = p[1] - colours[k][1];
            const int db = p[2] - colours[k][2];
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                chosen = k;
            }
        }
        total += best;
        indices = (indices << 2) | static_cast<std::uint32_t>(chosen);
    }
    const std::uint8_t ends[4] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                                  static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b >> 8)};
    std::memcpy(block, ends, 4);
    for (int i = 0; i < 4; ++i) {
        block[4 + i] = static_cast<std::uint8_t>(indices >> (8 * i));
    }
    return total;
}

// A colour to 5:6:5, each channel rounded to its nearest step and clamped.
std::uint32_t Pack565(const int* rgb) {
    const auto step = [](int v, std::uint32_t steps) {
        return (static_cast<std::uint32_t>(std::clamp(v, 0, 255)) * steps + 127) / 255;
    };
    return (step(rgb[0], 31) << 11) | (step(rgb[1], 63) << 5) | step(rgb[2], 31);
}

// The end colours that fit the tile best, by least squares, for the indices `block` gives its
// pixels; written into `refit`'s first four bytes. False when the indices leave them open.
bool RefitEnds(const std::uint8_t* tile, const std::uint8_t* block, bool threeColourAllowed,
               std::uint8_t* refit) {
    const bool threeColour = threeColourAllowed && Word16(block) <= Word16(block + 2);
    // Each index's share of the first end colour, in sixths.
    constexpr int kFour[4] = {6, 0, 4, 2};
    constexpr int kThree[4] = {6, 0, 3, 0};
    const int* share = threeColour ? kThree : kFour;
    double aa = 0;
    double ab = 0;
    double bb = 0;
    double ap[3] = {};
    double bp[3] = {};
    std::uint32_t indices = Word16(block + 4) | (Word16(block + 6) << 16);
    for (int i = 0; i < 16; ++i, indices >>= 2) {
        const double wa = share[indices & 3] / 6.0;
        const double wb = 1 - wa;
        aa += wa * wa;
        ab += wa * wb;
        bb += wb * wb;
        for (int c = 0; c < 3; ++c) {
            ap[c] += wa * tile[i * 4 + c];
            bp[c] += wb * tile[i * 4 + c];
        }
    }
    const double determinant = aa * bb - ab * ab;
    if (determinant < 1e-9) {
        return false;
    }
    int ends[2][3];
    for (int c = 0; c < 3; ++c) {
        ends[0][c] = static_cast<int>(std::lround((ap[c] * bb - bp[c] * ab) / determinant));
        ends[1][c] = static_cast<int>(std::lround((bp[c] * aa - ap[c] * ab) / determinant));
    }
    std::uint32_t a = Pack565(ends[0]);
    std::uint32_t b = Pack565(ends[1]);
    if (threeColourAllowed && ((a > b) == threeColour || (!threeColour && a == b))) {
        return false;  // the rounded ends would change the mode
    }
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                                   static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b >> 8)};
    std::memcpy(refit, bytes, 4);
    return true;
}

// Where the two most distant colours of a tile may sit on a block's line from its first end
// colour (0) to its second (1), in thirds: both ends, or one or both on the steps between. In
// the three-colour mode the step is the middle (3 sixths).
struct Placement {
    int first;
    int second;
    int parts;
};
constexpr Placement kFourColourPlacements[] = {{0, 3, 3}, {0, 2, 3}, {1, 3, 3},
                                               {1, 2, 3}, {0, 1, 3}, {2, 3, 3}};
constexpr Placement kThreeColourPlacements[] = {{0, 2, 2}, {0, 1, 2}, {1, 2, 2}};

// Whether the tile has at most four different colours, as every tile decoded from a block has.
bool FewColours(const std::uint8_t* tile) {
    std::uint32_t seen[4];
    int count = 0;
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t colour = tile[i * 4] | (tile[i * 4 + 1] << 8) | (tile[i * 4 + 2] << 16);
        if (std::find(seen, seen + count, colour) != seen + count) {
            continue;
        }
        if (count == 4) {
            return false;
        }
        seen[count++] = colour;
    }
    return true;
}

// An opaque colour block. stb's encoder (a principal-axis fit refined by least squares) makes
// the first candidate. A tile of at most four colours, such as one decoded from a block, also
// tries its two most distant colours at the ends of the line or on its inner steps, solving for
// the end colours (in DXT1 also in the three-colour mode), and a least-squares refit: these find
// the exact ends of such tiles, which the axis fit misses (re-encoding the sample games' DXT1
// textures lost 24 dB without them). The closest candidate is kept.
void EncodeOpaqueColour(const std::uint8_t* tile, std::uint8_t* block, bool threeColourAllowed) {
    stb_compress_dxt_block(block, tile, 0, STB_DXT_HIGHQUAL);
    std::uint32_t a = Word16(block);
    std::uint32_t b = Word16(block + 2);
    const bool equalEnds = a == b;
    if (threeColourAllowed && equalEnds) {
        // Equal end colours would mean the three-colour mode to a DXT1 decoder.
        b = a == 0 ? 0 : a - 1;
        a = a == 0 ? 1 : a;
    }
    if (!FewColours(tile)) {
        if (threeColourAllowed && equalEnds) {
            FitColour(tile, a, b, true, block);
        }
        return;
    }
    int bestError = FitColour(tile, a, b, threeColourAllowed, block);
    if (bestError == 0) {
        return;
    }
    int far = -1;
    int first = 0;
    int second = 0;
    for (int i = 0; i < 16; ++i) {
        for (int j = i + 1; j < 16; ++j) {
            int d = 0;
            for (int c = 0; c < 3; ++c) {
                const int delta = tile[i * 4 + c] - tile[j * 4 + c];
                d += delta * delta;
            }
            if (d > far) {
                far = d;
                first = i;
                second = j;
            }
        }
    }
    std::uint8_t candidate[8];
    const auto consider = [&](const Placement& place, bool threeColour) {
        // f = e0 + (e1 - e0) * first / parts and s likewise, solved for e0 and e1.
        int ends[2][3];
        const int span = place.second - place.first;
        for (int c = 0; c < 3; ++c) {
            const int f = tile[first * 4 + c];
            const int s = tile[second * 4 + c];
            const int slope = s - f;  // (e1 - e0) * span / parts
            ends[0][c] = f - (slope * place.first + span / 2) / span;
            ends[1][c] = f + (slope * (place.parts - place.first) + span / 2) / span;
        }
        std::uint32_t x = Pack565(ends[0]);
        std::uint32_t y = Pack565(ends[1]);
        // The mode follows the order of the ends: above for four colours, not above for three.
        if ((x > y) == threeColour && threeColourAllowed) {
            std::swap(x, y);
        }
        if (threeColourAllowed && !threeColour && x == y) {
            return;
        }
        const int error = FitColour(tile, x, y, threeColourAllowed, candidate);
        if (error < bestError) {
            bestError = error;
            std::memcpy(block, candidate, 8);
        }
    };
    for (const Placement& place : kFourColourPlacements) {
        consider(place, false);
    }
    for (const Placement& place : kThreeColourPlacements) {
        if (threeColourAllowed) {
            consider(place, true);
        }
    }
    for (int round = 0; round < 2 && bestError > 0; ++round) {
        if (!RefitEnds(tile, block, threeColourAllowed, candidate)) {
            break;
        }
        const int error = FitColour(tile, Word16(candidate), Word16(candidate + 2),
                                    threeColourAllowed, candidate);
        if (error >= bestError) {
            break;
        }
        bestError = error;
        std::memcpy(block, candidate, 8);
    }
}

}  // namespace

void ChannelCodebook(std::uint8_t first, std::uint8_t second, std::uint8_t* codes) {
    codes[0] = first;
    codes[1] = second;
    if (first > second) {
        for (int i = 1; i < 7; ++i) {
            codes[1 + i] = static_cast<std::uint8_t>(((7 - i) * first + i * second) / 7);
        }
        return;
    }
    for (int i = 1; i < 5; ++i) {
        codes[1 + i] = static_cast<std::uint8_t>(((5 - i) * first + i * second) / 5);
    }
    codes[6] = 0;
    codes[7] = 255;
}

void DecodeDxt1Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block, tile, true);
}

void DecodeDxt5Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeColour(block + 8, tile, false);
    DecodeChannel(block, tile, 3);
}

void DecodeBc4Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeChannel(block, tile, 0);
    SetChannels(tile, 0, 0, 255);
}

void DecodeBc5Block(const std::uint8_t* block, std::uint8_t* tile) {
    DecodeChannel(block, tile, 0);
    DecodeChannel(block + 8, tile, 1);
    for (int i = 0; i < 16; ++i) {
        tile[i * 4 + 2] = 0;
        tile[i * 4 + 3] = 255;
    }
}

void EncodeDxt1Block(const std::uint8_t* tile, std::uint8_t* block) {
    for (int i = 0; i < 16; ++i) {
        if (tile[i * 4 + 3] < 128) {
            squish::Compress(tile, block, squish::kDxt1 | squish::kColourClusterFit);
            return;
        }
    }
    EncodeOpaqueColour(tile, block, true);
}

void EncodeDxt5Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 3, block);
    EncodeOpaqueColour(tile, block + 8, false);
}

void EncodeBc4Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 0, block);
}

void EncodeBc5Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 0, block);
    EncodeChannel(tile, 1, block + 8);
}

}  // namespace kestrova::texture
