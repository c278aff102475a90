#include "plugins/texture/texture_bc.h"

#include <squish.h>
#include <stb/stb_dxt.h>

#include <algorithm>
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

// The colour half of a block: two 5:6:5 end colours and 2-bit indices. Alpha in the tile is
// set only where the three-colour mode's transparent entry is used.
void DecodeColour(const std::uint8_t* block, std::uint8_t* tile, bool threeColourAllowed) {
    const std::uint32_t a = Word16(block);
    const std::uint32_t b = Word16(block + 2);
    std::uint8_t palette[16];
    Unpack565(a, palette);
    Unpack565(b, palette + 4);
    const bool threeColour = threeColourAllowed && a <= b;
    for (int c = 0; c < 3; ++c) {
        const int x = palette[c];
        const int y = palette[4 + c];
        if (threeColour) {
            palette[8 + c] = static_cast<std::uint8_t>((x + y) / 2);
            palette[12 + c] = 0;
        } else {
            palette[8 + c] = static_cast<std::uint8_t>((2 * x + y) / 3);
            palette[12 + c] = static_cast<std::uint8_t>((x + 2 * y) / 3);
        }
    }
    palette[11] = 255;
    palette[15] = threeColour ? 0 : 255;
    std::uint32_t indices = Word16(block + 4) | (Word16(block + 6) << 16);
    for (int i = 0; i < 16; ++i, indices >>= 2) {
        std::memcpy(tile + i * 4, palette + (indices & 3) * 4, 4);
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

// An opaque colour block that decodes the same in the four-colour mode DXT5 always uses: equal
// end colours would mean the three-colour mode to a DXT1 decoder, so their indices are all 0.
void EncodeOpaqueColour(const std::uint8_t* tile, std::uint8_t* block) {
    stb_compress_dxt_block(block, tile, 0, STB_DXT_HIGHQUAL);
    if (Word16(block) == Word16(block + 2)) {
        std::memset(block + 4, 0, 4);
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
    EncodeOpaqueColour(tile, block);
}

void EncodeDxt5Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 3, block);
    EncodeOpaqueColour(tile, block + 8);
}

void EncodeBc4Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 0, block);
}

void EncodeBc5Block(const std::uint8_t* tile, std::uint8_t* block) {
    EncodeChannel(tile, 0, block);
    EncodeChannel(tile, 1, block + 8);
}

}  // namespace kestrova::texture
