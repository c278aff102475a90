#include "plugins/texture/texture_bptc.h"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "plugins/texture/texture_high_range.h"

namespace kestrova::texture {
namespace {

// Which subset each pixel belongs to in the 64 two-subset shapes (bit i for pixel i) …
constexpr std::uint16_t kTwoSubsets[64] = {
    0xCCCC, 0x8888, 0xEEEE, 0xECC8, 0xC880, 0xFEEC, 0xFEC8, 0xEC80, 0xC800, 0xFFEC, 0xFE80,
    0xE800, 0xFFE8, 0xFF00, 0xFFF0, 0xF000, 0xF710, 0x008E, 0x7100, 0x08CE, 0x008C, 0x7310,
    0x3100, 0x8CCE, 0x088C, 0x3110, 0x6666, 0x366C, 0x17E8, 0x0FF0, 0x718E, 0x399C, 0xAAAA,
    0xF0F0, 0x5A5A, 0x33CC, 0x3C3C, 0x55AA, 0x9696, 0xA55A, 0x73CE, 0x13C8, 0x324C, 0x3BDC,
    0x6996, 0xC33C, 0x9966, 0x0660, 0x0272, 0x04E4, 0x4E40, 0x2720, 0xC936, 0x936C, 0x39C6,
    0x639C, 0x9336, 0x9CC6, 0x817E, 0xE718, 0xCCF0, 0x0FCC, 0x7744, 0xEE22,
};
// … and in the 64 three-subset shapes (bits 2i and 2i+1 for pixel i).
constexpr std::uint32_t kThreeSubsets[64] = {
    0xAA685050, 0x6A5A5040, 0x5A5A4200, 0x5450A0A8, 0xA5A50000, 0xA0A05050, 0x5555A0A0, 0x5A5A5050,
    0xAA550000, 0xAA555500, 0xAAAA5500, 0x90909090, 0x94949494, 0xA4A4A4A4, 0xA9A59450, 0x2A0A4250,
    0xA5945040, 0x0A425054, 0xA5A5A500, 0x55A0A0A0, 0xA8A85454, 0x6A6A4040, 0xA4A45000, 0x1A1A0500,
    0x0050A4A4, 0xAAA59090, 0x14696914, 0x69691400, 0xA08585A0, 0xAA821414, 0x50A4A450, 0x6A5A0200,
    0xA9A58000, 0x5090A0A8, 0xA8A09050, 0x24242424, 0x00AA5500, 0x24924924, 0x24499224, 0x50A50A50,
    0x500AA550, 0xAAAA4444, 0x66660000, 0xA5A0A5A0, 0x50A050A0, 0x69286928, 0x44AAAA44, 0x66666600,
    0xAA444444, 0x54A854A8, 0x95809580, 0x96969600, 0xA85454A8, 0x80959580, 0xAA141414, 0x96960000,
    0xAAAA1414, 0xA05050A0, 0xA0A5A5A0, 0x96000000, 0x40804080, 0xA9A8A9A8, 0xAAAAAA44, 0x2A4A5254,
};
// The pixel whose index has one bit less, for the second subset of two, and the second and
// third of three (the first subset's is always pixel 0).
constexpr std::uint8_t kAnchorOfTwo[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 2,  8, 2,  2, 8,
    8,  15, 2,  8,  2,  2,  8,  8,  2,  2,  15, 15, 6,  8,  2,  8,  15, 15, 2, 8,  2, 2,
    2,  15, 15, 6,  6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2, 15,
};
constexpr std::uint8_t kSecondAnchorOfThree[64] = {
    3,  3,  15, 15, 8, 3,  15, 15, 8,  8,  6, 6,  6, 5,  3, 3,  3,  3,  8,  15, 3,  3,
    6,  10, 5,  8,  8, 6,  8,  5,  15, 15, 8, 15, 3, 5,  6, 10, 8,  15, 15, 3,  15, 5,
    15, 15, 15, 15, 3, 15, 5,  5,  5,  8,  5, 10, 5, 10, 8, 13, 15, 12, 3,  3,
};
constexpr std::uint8_t kThirdAnchorOfThree[64] = {
    15, 8, 8, 3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,  15, 8,  15, 3,  15, 8,
    15, 8, 3, 15, 6,  10, 15, 15, 10, 8,  15, 3,  15, 10, 10, 8,  9,  10, 6,  15, 8,  15,
    3,  6, 6, 8,  15, 3,  15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8,
};

// Interpolation weights out of 64 for 2-, 3- and 4-bit indices.
constexpr std::uint8_t kWeights2[4] = {0, 21, 43, 64};
constexpr std::uint8_t kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr std::uint8_t kWeights4[16] = {0,  4,  9,  13, 17, 21, 26, 30,
                                        34, 38, 43, 47, 51, 55, 60, 64};

const std::uint8_t* Weights(int bits) {
    return bits == 2 ? kWeights2 : bits == 3 ? kWeights3 : kWeights4;
}

int Interpolate(int e0, int e1, int weight) {
    return ((64 - weight) * e0 + weight * e1 + 32) >> 6;
}

// The block's 128 bits, read from the lowest up.
class BlockBits {
public:
    explicit BlockBits(const std::uint8_t* block) {
        std::memcpy(&low_, block, 8);
        std::memcpy(&high_, block + 8, 8);
    }
    // `count` bits (at most 32) from the position on.
    std::uint32_t Read(int count) { return static_cast<std::uint32_t>(Read64(count)); }
    // `count` bits (at most 63) from the position on.
    std::uint64_t Read64(int count) {
        const int at = position_;
        position_ += count;
        std::uint64_t bits;
        if (at >= 64) {
            bits = high_ >> (at - 64);
        } else if (at == 0) {
            bits = low_;
        } else {
            bits = (low_ >> at) | (high_ << (64 - at));
        }
        return bits & ((std::uint64_t{1} << count) - 1);
    }
    void Skip(int count) { position_ += count; }

private:
    std::uint64_t low_ = 0;
    std::uint64_t high_ = 0;
    int position_ = 0;
};

int SubsetOf(int subsets, int partition, int pixel) {
    if (subsets == 1) {
        return 0;
    }
    if (subsets == 2) {
        return (kTwoSubsets[partition] >> pixel) & 1;
    }
    return (kThreeSubsets[partition] >> (2 * pixel)) & 3;
}

// The pixels whose index has one bit less (bit i for pixel i).
std::uint32_t Anchors(int subsets, int partition) {
    std::uint32_t anchors = 1;
    if (subsets == 2) {
        anchors |= 1u << kAnchorOfTwo[partition];
    } else if (subsets == 3) {
        anchors |= (1u << kSecondAnchorOfThree[partition]) | (1u << kThirdAnchorOfThree[partition]);
    }
    return anchors;
}

// Reads 16 indices of `bits` bits each; anchors have one bit less.
void ReadIndices(BlockBits& in, int bits, int subsets, int partition, std::uint8_t* indices) {
    const std::uint32_t anchors = Anchors(subsets, partition);
    // At most 16 * 4 - 1 = 63 bits: one read, then shifts.
    const int total = 16 * bits - subsets;  // one anchor per subset
    std::uint64_t all = in.Read64(total);
    for (int i = 0; i < 16; ++i) {
        const int width = bits - static_cast<int>((anchors >> i) & 1);
        indices[i] = static_cast<std::uint8_t>(all & ((1u << width) - 1));
        all >>= width;
    }
}

struct Bc7Mode {
    int subsets;
    int partitionBits;
    int rotationBits;
    int selectionBits;
    int colourBits;
    int alphaBits;
    bool endpointP;  // one p-bit per endpoint
    bool sharedP;    // one p-bit per subset
    int indexBits;
    int secondIndexBits;
};
constexpr Bc7Mode kBc7Modes[8] = {
    {3, 4, 0, 0, 4, 0, true, false, 3, 0},  {2, 6, 0, 0, 6, 0, false, true, 3, 0},
    {3, 6, 0, 0, 5, 0, false, false, 2, 0}, {2, 6, 0, 0, 7, 0, true, false, 2, 0},
    {1, 0, 2, 1, 5, 6, false, false, 2, 3}, {1, 0, 2, 0, 7, 8, false, false, 2, 2},
    {1, 0, 0, 0, 7, 7, true, false, 4, 0},  {2, 6, 0, 0, 5, 5, true, false, 2, 0},
};

// An endpoint channel of `bits` bits (p-bit included) widened to 8 by repeating its top bits.
int Widen(int value, int bits) {
    return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

}  // namespace

void DecodeBc7Block(const std::uint8_t* block, std::uint8_t* tile) {
    int modeIndex = 0;
    while (modeIndex < 8 && (block[0] & (1 << modeIndex)) == 0) {
        ++modeIndex;
    }
    if (modeIndex == 8) {
        std::memset(tile, 0, 64);
        return;
    }
    const Bc7Mode& mode = kBc7Modes[modeIndex];
    BlockBits in(block);
    in.Skip(modeIndex + 1);
    const int partition = static_cast<int>(in.Read(mode.partitionBits));
    const int rotation = static_cast<int>(in.Read(mode.rotationBits));
    const int selection = static_cast<int>(in.Read(mode.selectionBits));
    const int endpoints = 2 * mode.subsets;
    int colour[6][4] = {};
    for (int c = 0; c < 3; ++c) {
        for (int e = 0; e < endpoints; ++e) {
            colour[e][c] = static_cast<int>(in.Read(mode.colourBits));
        }
    }
    for (int e = 0; e < endpoints && mode.alphaBits > 0; ++e) {
        colour[e][3] = static_cast<int>(in.Read(mode.alphaBits));
    }
    int colourBits = mode.colourBits;
    int alphaBits = mode.alphaBits;
    if (mode.endpointP || mode.sharedP) {
        int p[6];
        for (int e = 0; e < endpoints; ++e) {
            p[e] = mode.sharedP && (e & 1) ? p[e - 1] : static_cast<int>(in.Read(1));
        }
        for (int e = 0; e < endpoints; ++e) {
            for (int c = 0; c < 4; ++c) {
                colour[e][c] = (colour[e][c] << 1) | p[e];
            }
        }
        ++colourBits;
        alphaBits += alphaBits > 0 ? 1 : 0;
    }
    for (int e = 0; e < endpoints; ++e) {
        for (int c = 0; c < 3; ++c) {
            colour[e][c] = Widen(colour[e][c], colourBits);
        }
        colour[e][3] = alphaBits > 0 ? Widen(colour[e][3], alphaBits) : 255;
    }
    std::uint8_t primary[16];
    std::uint8_t secondary[16] = {};
    ReadIndices(in, mode.indexBits, mode.subsets, partition, primary);
    if (mode.secondIndexBits > 0) {
        ReadIndices(in, mode.secondIndexBits, 1, 0, secondary);
    }
    // With two index sets, colour takes the primary one and alpha the other, unless the
    // selection bit swaps them.
    const std::uint8_t* colourIndex = selection != 0 ? secondary : primary;
    const std::uint8_t* alphaIndex = mode.secondIndexBits == 0 ? primary
                                     : selection != 0          ? primary
                                                               : secondary;
    const std::uint8_t* colourWeights =
        Weights(selection != 0 ? mode.secondIndexBits : mode.indexBits);
    const std::uint8_t* alphaWeights = Weights(
        mode.secondIndexBits == 0 || selection != 0 ? mode.indexBits : mode.secondIndexBits);
    for (int i = 0; i < 16; ++i) {
        const int s = SubsetOf(mode.subsets, partition, i);
        const int* e0 = colour[2 * s];
        const int* e1 = colour[2 * s + 1];
        std::uint8_t* out = tile + i * 4;
        for (int c = 0; c < 3; ++c) {
            out[c] =
                static_cast<std::uint8_t>(Interpolate(e0[c], e1[c], colourWeights[colourIndex[i]]));
        }
        out[3] = static_cast<std::uint8_t>(Interpolate(e0[3], e1[3], alphaWeights[alphaIndex[i]]));
        if (rotation != 0) {
            std::swap(out[3], out[rotation - 1]);
        }
    }
}

namespace {

// BC6H's modes: where each field's bits lie, written as the fields' names with the bits taken
// from the block in order, lowest first ("r0[9:0]" takes ten bits into r0's bits 9 down to 0;
// "r0[10:15]" takes six into bits 10 up to 15).
struct Bc6hMode {
    int number;
    bool transformed;
    bool twoSubsets;
    int endpointBits;
    int deltaBits[3];
    std::string_view layout;
};
constexpr Bc6hMode kBc6hModes[] = {
    {0,
     true,
     true,
     10,
     {5, 5, 5},
     "g2[4],b2[4],b3[4],r0[9:0],g0[9:0],b0[9:0],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {1,
     true,
     true,
     7,
     {6, 6, 6},
     "g2[5],g3[4],g3[5],r0[6:0],b3[0],b3[1],b2[4],g0[6:0],b2[5],b3[2],g2[4],b0[6:0],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {2,
     true,
     true,
     11,
     {5, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[4:0],r0[10],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {6,
     true,
     true,
     11,
     {4, 5, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],g3[4],g2[3:0],g1[4:0],g0[10],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[3:0],b3[0],b3[2],r3[3:0],g2[4],b3[3]"},
    {10,
     true,
     true,
     11,
     {4, 4, 5},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],b2[4],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],"
     "b1[4:0],b0[10],b2[3:0],r2[3:0],b3[1],b3[2],r3[3:0],b3[4],b3[3]"},
    {14,
     true,
     true,
     9,
     {5, 5, 5},
     "r0[8:0],b2[4],g0[8:0],g2[4],b0[8:0],b3[4],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {18,
     true,
     true,
     8,
     {6, 5, 5},
     "r0[7:0],g3[4],b2[4],g0[7:0],b3[2],g2[4],b0[7:0],b3[3],b3[4],r1[5:0],g2[3:0],g1[4:0],"
     "b3[0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[5:0],r3[5:0]"},
    {22,
     true,
     true,
     8,
     {5, 6, 5},
     "r0[7:0],b3[0],b2[4],g0[7:0],g2[5],g2[4],b0[7:0],g3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[5:0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {26,
     true,
     true,
     8,
     {5, 5, 6},
     "r0[7:0],b3[1],b2[4],g0[7:0],b2[5],g2[4],b0[7:0],b3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[4:0],b3[0],g3[3:0],b1[5:0],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {30,
     false,
     true,
     6,
     {6, 6, 6},
     "r0[5:0],g3[4],b3[0],b3[1],b2[4],g0[5:0],g2[5],b2[5],b3[2],g2[4],b0[5:0],g3[5],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {3, false, false, 10, {10, 10, 10}, "r0[9:0],g0[9:0],b0[9:0],r1[9:0],g1[9:0],b1[9:0]"},
    {7,
     true,
     false,
     11,
     {9, 9, 9},
     "r0[9:0],g0[9:0],b0[9:0],r1[8:0],r0[10],g1[8:0],g0[10],b1[8:0],b0[10]"},
    {11,
     true,
     false,
     12,
     {8, 8, 8},
     "r0[9:0],g0[9:0],b0[9:0],r1[7:0],r0[10:11],g1[7:0],g0[10:11],b1[7:0],b0[10:11]"},
    {15,
     true,
     false,
     16,
     {4, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10:15],g1[3:0],g0[10:15],b1[3:0],b0[10:15]"},
};

// One run of bits of a layout: `count` bits into field `field` (endpoint * 3 + channel), the
// first bit read into bit `first` and the next ones up from there, or down when `reversed`.
struct FieldBits {
    std::uint8_t field;
    std::uint8_t first;
    std::uint8_t count;
    bool reversed;
};

std::vector<FieldBits> ParseLayout(std::string_view layout) {
    std::vector<FieldBits> runs;
    std::size_t at = 0;
    const auto number = [&] {
        int value = 0;
        while (at < layout.size() && layout[at] >= '0' && layout[at] <= '9') {
            value = value * 10 + (layout[at++] - '0');
        }
        return value;
    };
    while (at < layout.size()) {
        const int channel = layout[at] == 'r' ? 0 : layout[at] == 'g' ? 1 : 2;
        const int endpoint = layout[at + 1] - '0';
        at += 3;  // the name and '['
        const int from = number();
        int to = from;
        if (layout[at] == ':') {
            ++at;
            to = number();
        }
        at += 2;  // ']' and ','
        runs.push_back(
            {static_cast<std::uint8_t>(endpoint * 3 + channel), static_cast<std::uint8_t>(to),
             static_cast<std::uint8_t>(from >= to ? from - to + 1 : to - from + 1), from < to});
    }
    return runs;
}

const std::vector<FieldBits>& Layout(std::size_t mode) {
    static const auto layouts = [] {
        std::array<std::vector<FieldBits>, std::size(kBc6hModes)> parsed;
        for (std::size_t m = 0; m < parsed.size(); ++m) {
            parsed[m] = ParseLayout(kBc6hModes[m].layout);
        }
        return parsed;
    }();
    return layouts[mode];
}

int SignExtend(int value, int bits) {
    const int sign = 1 << (bits - 1);
    return (value & (sign - 1)) - (value & sign);
}

int Unquantize(int value, int bits) {
    if (bits >= 15 || value == 0) {
        return value;
    }
    if (value == (1 << bits) - 1) {
        return 0xFFFF;
    }
    return ((value << 15) + 0x4000) >> (bits - 1);
}

}  // namespace

void DecodeBc6hHalves(const std::uint8_t* block, std::uint16_t* rgb) {
    BlockBits in(block);
    int number = static_cast<int>(in.Read(2));
    if (number >= 2) {
        number |= static_cast<int>(in.Read(3)) << 2;
    }
    std::size_t m = 0;
    while (m < std::size(kBc6hModes) && kBc6hModes[m].number != number) {
        ++m;
    }
    if (m == std::size(kBc6hModes)) {
        std::memset(rgb, 0, 16 * 3 * sizeof(std::uint16_t));
        return;
    }
    const Bc6hMode& mode = kBc6hModes[m];
    int fields[12] = {};  // endpoint * 3 + channel
    for (const FieldBits& run : Layout(m)) {
        const std::uint32_t bits = in.Read(run.count);
        for (int b = 0; b < run.count; ++b) {
            const int target = run.reversed ? run.first - b : run.first + b;
            fields[run.field] |= static_cast<int>((bits >> b) & 1) << target;
        }
    }
    const int endpoints = mode.twoSubsets ? 4 : 2;
    const int mask = (1 << mode.endpointBits) - 1;
    for (int e = 1; e < endpoints && mode.transformed; ++e) {
        for (int c = 0; c < 3; ++c) {
            const int delta = SignExtend(fields[e * 3 + c], mode.deltaBits[c]);
            fields[e * 3 + c] = (fields[c] + delta) & mask;
        }
    }
    for (int& field : fields) {
        field = Unquantize(field, mode.endpointBits);
    }
    const int partition = mode.twoSubsets ? static_cast<int>(in.Read(5)) : 0;
    const int subsets = mode.twoSubsets ? 2 : 1;
    const int indexBits = mode.twoSubsets ? 3 : 4;
    std::uint8_t indices[16];
    ReadIndices(in, indexBits, subsets, partition, indices);
    const std::uint8_t* weights = Weights(indexBits);
    for (int i = 0; i < 16; ++i) {
        const int s = SubsetOf(subsets, partition, i);
        for (int c = 0; c < 3; ++c) {
            const int value = Interpolate(fields[2 * s * 3 + c], fields[(2 * s + 1) * 3 + c],
                                          weights[indices[i]]);
            rgb[i * 3 + c] = static_cast<std::uint16_t>((value * 31) >> 6);
        }
    }
}

void DecodeBc6hBlock(const std::uint8_t* block, std::uint8_t* tile) {
    std::uint16_t halves[48];
    DecodeBc6hHalves(block, halves);
    for (int i = 0; i < 16; ++i) {
        const float rgba[4] = {HalfToFloat(halves[i * 3]), HalfToFloat(halves[i * 3 + 1]),
                               HalfToFloat(halves[i * 3 + 2]), 1};
        ToneMap(rgba, tile + i * 4);
    }
}

}  // namespace kestrova::texture
