// Figures of the texture plug-in: decoding the real textures' top levels, exporting them as PNG
// and importing those PNGs back (each per MiB of decoded RGBA pixels, beside a plain copy of
// the same number of bytes), and encoding a 4096x4096 picture as DXT5, the top level alone and
// with its whole mip chain. The real textures come from KESTROVA_REALDATA.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "plugins/texture/texture_png.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugin_texture/texture_test_support.h"

namespace {

using namespace kestrova::texture;
using kestrova::testing::RealTexture;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;

// Wall time and the processor time of all threads, in seconds: the DXT compressor may spread
// over the cores, and a machine shared with other work stretches the wall time alone.
struct Timing {
    double wall = 1e300;
    double processor = 1e300;
};

Timing Measure(const std::function<void()>& work) {
    const std::clock_t cpuStart = std::clock();
    const Clock::time_point start = Clock::now();
    work();
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

// The best of kRuns runs of `work`, each figure on its own.
Timing Best(const std::function<void()>& work) {
    Timing best;
    for (int run = 0; run < kRuns; ++run) {
        const Timing t = Measure(work);
        best = {std::min(best.wall, t.wall), std::min(best.processor, t.processor)};
    }
    return best;
}

void PrintPerMiB(const char* what, Timing t, double mib, double copySeconds) {
    std::printf(
        "  %-32s %8.1f ms wall  %7.2f ms/MiB wall  %7.2f ms/MiB processor  (%.0fx a copy)\n", what,
        t.wall * 1e3, t.wall * 1e3 / mib, t.processor * 1e3 / mib, t.wall / copySeconds);
}

// Smooth gradients with a little deterministic noise, as photographs and painted textures have.
RgbaImage TestPicture(std::uint32_t side) {
    RgbaImage image(side, side);
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) {
            noise = noise * 1103515245 + 12345;
            std::uint8_t* p = image.pixels.data() + (std::size_t{y} * side + x) * 4;
            const std::uint32_t jitter = (noise >> 16) & 15;
            p[0] = static_cast<std::uint8_t>((x * 255 / side + jitter) & 255);
            p[1] = static_cast<std::uint8_t>((y * 255 / side + jitter) & 255);
            p[2] = static_cast<std::uint8_t>(((x + y) * 127 / side + jitter) & 255);
            p[3] = static_cast<std::uint8_t>(255 - ((x ^ y) & 63));
        }
    }
    return image;
}

}  // namespace

int main() {
    const std::string folder = kestrova::testing::RealDataFolder();
    if (folder.empty()) {
        std::printf("KESTROVA_REALDATA names no folder; the real textures are skipped.\n");
    } else {
        kestrova::testing::TempFolder temp;
        const std::vector<RealTexture> textures =
            kestrova::testing::LoadRealTextures(folder, kestrova::Utf8ToUtf16(temp.File("Temp")));
        std::vector<std::vector<std::uint8_t>> pngs(textures.size());
        std::uint64_t pixelBytes = 0;
        for (const RealTexture& t : textures) {
            const TextureParse parsed = ParseTexture(t.body);
            if (parsed.usable() && !parsed.texture.empty()) {
                pixelBytes +=
                    std::uint64_t{parsed.texture.header.width} * parsed.texture.header.height * 4;
            }
        }
        const double mib = static_cast<double>(pixelBytes) / (1 << 20);
        std::printf("%zu real textures, %.2f MiB of RGBA pixels in their top levels\n",
                    textures.size(), mib);

        std::vector<std::uint8_t> from(pixelBytes, 1);
        std::vector<std::uint8_t> to(pixelBytes);
        const Timing copy = Best([&] { std::memcpy(to.data(), from.data(), from.size()); });
        const Timing decode = Best([&] {
            for (const RealTexture& t : textures) {
                DecodeTopLevel(ParseTexture(t.body).texture);
            }
        });
        const Timing exportPng = Best([&] {
            for (std::size_t i = 0; i < textures.size(); ++i) {
                pngs[i] = ExportPng(textures[i].body).bytes;
            }
        });
        const Timing importPng = Best([&] {
            for (std::size_t i = 0; i < textures.size(); ++i) {
                if (!pngs[i].empty()) {
                    ImportPng(textures[i].body, pngs[i]);
                }
            }
        });
        std::printf("best of %d runs:\n", kRuns);
        PrintPerMiB("copy of as many bytes", copy, mib, copy.wall);
        PrintPerMiB("decode top levels", decode, mib, copy.wall);
        PrintPerMiB("decode and PNG-encode (export)", exportPng, mib, copy.wall);
        PrintPerMiB("PNG-decode and encode (import)", importPng, mib, copy.wall);
    }

    // One run each: the encode takes long enough.
    const RgbaImage picture = TestPicture(4096);
    const FormatInfo& dxt5 = *FindFormat(12);
    std::printf("4096x4096 DXT5 encode (cluster fit), one run each:\n");
    std::size_t bytes = 0;
    Timing t = Measure([&] { bytes = EncodeLevel(dxt5, picture).size(); });
    std::printf("  %-32s %8.2f s wall  %8.2f s processor  (%zu bytes)\n", "top level", t.wall,
                t.processor, bytes);
    t = Measure([&] { bytes = EncodeImageData(dxt5, picture, true).size(); });
    std::printf("  %-32s %8.2f s wall  %8.2f s processor  (%zu bytes)\n", "whole chain (13 levels)",
                t.wall, t.processor, bytes);
    return 0;
}
