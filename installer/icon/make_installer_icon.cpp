// Draws the installer program's icon (a parcel with an arrow pointing into it) at 16, 32 and
// 48 pixels and writes it as an icon file: make_installer_icon OUT.ico

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "pe/ico_file.h"

namespace {

using kestrova::ravelin::IconImage;

struct Color {
    std::uint8_t r, g, b;
};

// The colour at a point of the unit square (0,0 top left), or nothing for a transparent point.
const Color* Paint(double x, double y) {
    static constexpr Color kOutline{92, 52, 20};
    static constexpr Color kFront{214, 136, 52};
    static constexpr Color kSide{176, 104, 36};
    static constexpr Color kTop{242, 184, 98};
    static constexpr Color kTape{250, 226, 170};
    static constexpr Color kArrow{38, 120, 214};
    static constexpr Color kArrowEdge{16, 64, 140};
    // The arrow, above the parcel and over it.
    const bool shaft = x >= 0.41 && x <= 0.59 && y >= 0.04 && y <= 0.40;
    const bool head = y >= 0.34 && y <= 0.60 && std::abs(x - 0.5) <= (0.60 - y) * 0.95;
    if (shaft || head) {
        const bool edge = (shaft && (x < 0.45 || x > 0.55 || y < 0.08)) ||
                          (head && std::abs(x - 0.5) > (0.60 - y) * 0.95 - 0.06);
        return edge ? &kArrowEdge : &kArrow;
    }
    // The parcel: a front face, its right side and its lid, with a band of tape.
    if (x >= 0.08 && x <= 0.70 && y >= 0.46 && y <= 0.94) {
        if (x < 0.12 || x > 0.66 || y > 0.90 || y < 0.50) {
            return &kOutline;
        }
        return std::abs(x - 0.39) < 0.06 ? &kTape : &kFront;
    }
    if (x > 0.70 && x <= 0.92 && y >= 0.46 - (x - 0.70) && y <= 0.94 - (x - 0.70)) {
        return x > 0.88 ? &kOutline : &kSide;
    }
    if (y >= 0.24 && y < 0.46 && x >= 0.08 + (0.46 - y) && x <= 0.70 + (0.46 - y)) {
        return y < 0.28 ? &kOutline : &kTop;
    }
    return nullptr;
}

// Each pixel averages a 4 x 4 grid of samples, so that edges are smooth at every size.
std::vector<std::uint8_t> Draw(std::uint32_t size) {
    constexpr int kGrid = 4;
    std::vector<std::uint8_t> pixels(std::size_t{size} * size * 4);
    for (std::uint32_t py = 0; py < size; ++py) {
        for (std::uint32_t px = 0; px < size; ++px) {
            unsigned r = 0, g = 0, b = 0, covered = 0;
            for (int sy = 0; sy < kGrid; ++sy) {
                for (int sx = 0; sx < kGrid; ++sx) {
                    const double x = (px + (sx + 0.5) / kGrid) / size;
                    const double y = (py + (sy + 0.5) / kGrid) / size;
                    if (const Color* c = Paint(x, y)) {
                        r += c->r;
                        g += c->g;
                        b += c->b;
                        ++covered;
                    }
                }
            }
            std::uint8_t* p = pixels.data() + (std::size_t{py} * size + px) * 4;
            if (covered != 0) {
                p[0] = static_cast<std::uint8_t>(r / covered);
                p[1] = static_cast<std::uint8_t>(g / covered);
                p[2] = static_cast<std::uint8_t>(b / covered);
                p[3] = static_cast<std::uint8_t>(covered * 255 / (kGrid * kGrid));
            }
        }
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_installer_icon OUT.ico\n");
        return 1;
    }
    std::array<std::vector<std::uint8_t>, 3> bitmaps;
    std::array<IconImage, 3> images;
    const std::array<std::uint32_t, 3> sizes{16, 32, 48};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        bitmaps[i] = kestrova::ravelin::MakeIconBitmap(sizes[i], sizes[i], Draw(sizes[i]));
        images[i].width = static_cast<std::uint8_t>(sizes[i]);
        images[i].height = static_cast<std::uint8_t>(sizes[i]);
        images[i].planes = 1;
        images[i].bitCount = 32;
        images[i].bytes = bitmaps[i];
    }
    const std::vector<std::uint8_t> file = kestrova::ravelin::WriteIconFile(images);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make_installer_icon: cannot write %s\n", argv[1]);
        return 2;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make_installer_icon: cannot write %s\n", argv[1]);
        return 2;
    }
    return 0;
}
