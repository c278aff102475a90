// Figures of the texture plug-in:
//  - the real textures: decoding their top levels, exporting them as PNG and importing those
//    PNGs back (each per MiB of decoded RGBA pixels, beside a plain copy of as many bytes);
//  - decoding speed of every format on one core, in megapixels per second;
//  - importing a 4096x4096 picture with its mip chain into every format that has an encoder;
//  - the DXT encoders compared on that chain and on the real textures: time, megapixels per
//    second and PSNR against the source, today's encoder beside libsquish's cluster fit (what
//    imports used before), its other fits, stb's encoder and, when built with it, nvtt.
// The picture is a photograph from scikit-image's sample data (Debian: python3-skimage),
// mirrored into 4096x4096; without it a synthetic picture stands in. KESTROVA_REALDATA names
// the real textures' folder.

#include <squish.h>
#include <stb/stb_dxt.h>
#ifdef KESTROVA_BENCH_NVTT
#include <nvtt/nvtt.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "plugins/texture/texture_blocks.h"
#include "plugins/texture/texture_png.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugin_texture/texture_test_support.h"

namespace {

using namespace kestrova::texture;
using kestrova::testing::RealTexture;
using kestrova::testing::SquaredError;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr const char* kPhotograph = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";

// Wall time and the processor time of all threads, in seconds: encoders spread over the cores,
// and a machine shared with other work stretches the wall time alone.
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

// The best of `runs` runs of `work`, each figure on its own.
Timing Best(const std::function<void()>& work, int runs = kRuns) {
    Timing best;
    for (int run = 0; run < runs; ++run) {
        const Timing t = Measure(work);
        best = {std::min(best.wall, t.wall), std::min(best.processor, t.processor)};
    }
    return best;
}

// Processor time of the calling thread alone, in seconds: the figure of one core.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void PrintPerMiB(const char* what, Timing t, double mib, double copySeconds) {
    std::printf(
        "  %-32s %8.1f ms wall  %7.2f ms/MiB wall  %7.2f ms/MiB processor  (%.0fx a copy)\n", what,
        t.wall * 1e3, t.wall * 1e3 / mib, t.processor * 1e3 / mib, t.wall / copySeconds);
}

// Smooth gradients with a little deterministic noise, as painted textures have.
RgbaImage SyntheticPicture(std::uint32_t side) {
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

// The photograph mirrored tile by tile into side x side (mirroring keeps the seams smooth), or
// the synthetic picture when the photograph is not installed.
RgbaImage TestPicture(std::uint32_t side, std::string& source) {
    std::ifstream file(kPhotograph, std::ios::binary);
    const std::vector<std::uint8_t> png{std::istreambuf_iterator<char>(file), {}};
    RgbaImage photo;
    bool hasAlpha = false;
    if (png.empty() || !ReadPng(png, photo, hasAlpha).ok()) {
        source = "a synthetic picture (" + std::string(kPhotograph) + " is not installed)";
        return SyntheticPicture(side);
    }
    source = std::string("the photograph ") + kPhotograph + ", mirrored into " +
             std::to_string(side) + "x" + std::to_string(side);
    RgbaImage image(side, side);
    for (std::uint32_t y = 0; y < side; ++y) {
        const std::uint32_t ty = y / photo.height;
        std::uint32_t sy = y % photo.height;
        sy = ty % 2 != 0 ? photo.height - 1 - sy : sy;
        for (std::uint32_t x = 0; x < side; ++x) {
            const std::uint32_t tx = x / photo.width;
            std::uint32_t sx = x % photo.width;
            sx = tx % 2 != 0 ? photo.width - 1 - sx : sx;
            std::memcpy(image.pixels.data() + (std::size_t{y} * side + x) * 4,
                        photo.pixels.data() + (std::size_t{sy} * photo.width + sx) * 4, 4);
        }
    }
    return image;
}

// The chain's levels from the top one down to 1x1, each the box filter of the one above.
std::vector<RgbaImage> Chain(const RgbaImage& top) {
    std::vector<RgbaImage> levels{top};
    while (levels.back().width > 1 || levels.back().height > 1) {
        levels.push_back(HalveImage(levels.back()));
    }
    return levels;
}

double Megapixels(const std::vector<RgbaImage>& levels) {
    double pixels = 0;
    for (const RgbaImage& level : levels) {
        pixels += static_cast<double>(level.width) * level.height;
    }
    return pixels / 1e6;
}

// --- The DXT encoders compared -----------------------------------------------------------

// Encodes one level into `out` (LevelSize bytes).
using LevelEncoder = std::function<void(const RgbaImage&, std::uint8_t*)>;

struct Candidate {
    std::string name;
    LevelEncoder encode;  // null: the whole chain through EncodeImageData (today's import)
};

LevelEncoder Squish(int flags) {
    return [flags](const RgbaImage& level, std::uint8_t* out) {
        squish::CompressImage(level.pixels.data(), static_cast<int>(level.width),
                              static_cast<int>(level.height), out, flags);
    };
}

// stb's block encoder, alpha included, over every core as today's import runs it.
template <int Mode, int Alpha>
void StbBlock(const std::uint8_t* tile, std::uint8_t* block) {
    stb_compress_dxt_block(block, tile, Alpha, Mode);
}

template <int Mode>
LevelEncoder Stb(const FormatInfo& format) {
    return [&format](const RgbaImage& level, std::uint8_t* out) {
        const BlockEncoder encode =
            format.layout == PixelLayout::Dxt5 ? StbBlock<Mode, 1> : StbBlock<Mode, 0>;
        ParallelFor(BlockRows(format, level.height),
                    [&](std::size_t row) { EncodeBlockRows(format, level, row, 1, out, encode); });
    };
}

#ifdef KESTROVA_BENCH_NVTT
struct NvttOutput : nvtt::OutputHandler {
    std::uint8_t* out = nullptr;
    void beginImage(int, int, int, int, int, int) override {}
    bool writeData(const void* data, int size) override {
        std::memcpy(out, data, static_cast<std::size_t>(size));
        out += size;
        return true;
    }
};

LevelEncoder Nvtt(const FormatInfo& format, nvtt::Quality quality) {
    return [&format, quality](const RgbaImage& level, std::uint8_t* out) {
        std::vector<std::uint8_t> bgra = level.pixels;
        for (std::size_t i = 0; i < bgra.size(); i += 4) {
            std::swap(bgra[i], bgra[i + 2]);
        }
        nvtt::InputOptions input;
        input.setTextureLayout(nvtt::TextureType_2D, static_cast<int>(level.width),
                               static_cast<int>(level.height));
        input.setMipmapData(bgra.data(), static_cast<int>(level.width),
                            static_cast<int>(level.height));
        input.setMipmapGeneration(false);
        nvtt::CompressionOptions options;
        options.setFormat(format.layout == PixelLayout::Dxt1 ? nvtt::Format_DXT1
                                                             : nvtt::Format_DXT5);
        options.setQuality(quality);
        NvttOutput handler;
        handler.out = out;
        nvtt::OutputOptions output;
        output.setOutputHandler(&handler);
        output.setOutputHeader(false);
        nvtt::Compressor compressor;
        compressor.enableCudaAcceleration(false);
        compressor.process(input, options, output);
    };
}
#endif

std::vector<Candidate> Candidates(const FormatInfo& format) {
    const int kind = format.layout == PixelLayout::Dxt1 ? squish::kDxt1 : squish::kDxt5;
    std::vector<Candidate> candidates = {
        {"today's import", nullptr},
        {"libsquish cluster fit (before)", Squish(kind | squish::kColourClusterFit)},
        {"libsquish range fit", Squish(kind | squish::kColourRangeFit)},
        {"libsquish iterative cluster fit", Squish(kind | squish::kColourIterativeClusterFit)},
        {"stb high quality", Stb<STB_DXT_HIGHQUAL>(format)},
        {"stb normal", Stb<STB_DXT_NORMAL>(format)},
    };
#ifdef KESTROVA_BENCH_NVTT
    // nvtt 2.0's "normal" quality and above crash on this machine's build; "fastest" runs.
    candidates.push_back({"nvtt fastest", Nvtt(format, nvtt::Quality_Fastest)});
#endif
    return candidates;
}

// Every level encoded by `candidate`, one level after another. A chain of box-filtered levels
// (`boxChain`) goes to today's import whole, as ReplaceImage hands it over; other levels (the
// real textures' own) one by one.
std::vector<std::vector<std::uint8_t>> EncodeChain(const FormatInfo& format,
                                                   const Candidate& candidate,
                                                   const std::vector<RgbaImage>& levels,
                                                   bool boxChain) {
    std::vector<std::vector<std::uint8_t>> stored;
    if (!candidate.encode && !boxChain) {
        for (const RgbaImage& level : levels) {
            stored.push_back(EncodeLevel(format, level));
        }
        return stored;
    }
    if (!candidate.encode) {
        // The import's own path: all levels through one call, as ReplaceImage makes them from
        // an upright picture.
        RgbaImage upright = levels.front();
        FlipRows(upright);
        std::vector<std::uint8_t> chain = EncodeImageData(format, upright, true);
        std::size_t offset = 0;
        for (const RgbaImage& level : levels) {
            const std::size_t size = LevelSize(format, level.width, level.height);
            stored.emplace_back(chain.begin() + static_cast<std::ptrdiff_t>(offset),
                                chain.begin() + static_cast<std::ptrdiff_t>(offset + size));
            offset += size;
        }
        return stored;
    }
    for (const RgbaImage& level : levels) {
        stored.emplace_back(LevelSize(format, level.width, level.height));
        candidate.encode(level, stored.back().data());
    }
    return stored;
}

SquaredError ChainError(const FormatInfo& format, const std::vector<RgbaImage>& levels,
                        const std::vector<std::vector<std::uint8_t>>& stored) {
    SquaredError error;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        error.Add(levels[i], DecodeLevel(format, levels[i].width, levels[i].height, stored[i]));
    }
    return error;
}

// The real textures of `format`, each level decoded: what re-encoding is measured on.
std::vector<std::vector<RgbaImage>> RealLevels(const std::vector<RealTexture>& textures,
                                               const FormatInfo& format) {
    std::vector<std::vector<RgbaImage>> result;
    for (const RealTexture& real : textures) {
        const TextureParse parsed = ParseTexture(real.body);
        if (!parsed.usable() || parsed.texture.empty() || parsed.texture.format != &format) {
            continue;
        }
        std::vector<RgbaImage> levels;
        for (std::size_t level = 0; level < parsed.texture.levels.size(); ++level) {
            levels.push_back(kestrova::testing::DecodeStoredLevel(parsed.texture, level));
        }
        result.push_back(std::move(levels));
    }
    return result;
}

void CompareEncoders(const FormatInfo& format, const std::vector<RgbaImage>& photo,
                     const std::vector<std::vector<RgbaImage>>& real) {
    const double megapixels = Megapixels(photo);
    std::printf("%s, the 4096x4096 chain (13 levels, %.1f megapixels), one run each:\n",
                format.name, megapixels);
    std::printf("  %-36s %8s %9s %8s %9s %9s %10s\n", "encoder", "wall s", "process s", "MPix/s",
                "PSNR dB", "vs before", "real PSNR");
    double beforePhoto = 0;
    double beforeReal = 0;
    for (const Candidate& candidate : Candidates(format)) {
        std::vector<std::vector<std::uint8_t>> stored;
        const Timing t = Measure([&] { stored = EncodeChain(format, candidate, photo, true); });
        const double psnr = ChainError(format, photo, stored).Psnr();
        SquaredError realError;
        for (const std::vector<RgbaImage>& levels : real) {
            const SquaredError one =
                ChainError(format, levels, EncodeChain(format, candidate, levels, false));
            realError.sum += one.sum;
            realError.samples += one.samples;
        }
        if (candidate.name == "libsquish cluster fit (before)") {
            beforePhoto = psnr;
            beforeReal = realError.Psnr();
        }
        std::printf("  %-36s %8.2f %9.2f %8.1f %9.2f %9s %10.2f\n", candidate.name.c_str(), t.wall,
                    t.processor, megapixels / t.wall, psnr,
                    beforePhoto == 0 ? "" : std::to_string(psnr - beforePhoto).substr(0, 5).c_str(),
                    realError.Psnr());
    }
    std::printf(
        "  (real PSNR: every level of the %zu real %s textures, decoded and encoded again;"
        " cluster fit there %.2f dB)\n",
        real.size(), format.name, beforeReal);
}

// --- Decoding and importing every format --------------------------------------------------

// The formats the table knows, in id order.
std::vector<const FormatInfo*> AllFormats() {
    std::vector<const FormatInfo*> formats;
    for (std::uint32_t id = 0; id < 128; ++id) {
        if (const FormatInfo* format = FindFormat(id)) {
            formats.push_back(format);
        }
    }
    return formats;
}

// A level to decode: the picture encoded where there is an encoder, otherwise bytes from a
// generator (every block of those formats is valid, and random ones reach every mode).
std::vector<std::uint8_t> LevelToDecode(const FormatInfo& format, const RgbaImage& picture) {
    if (CanEncode(format)) {
        return EncodeLevel(format, picture);
    }
    std::vector<std::uint8_t> bytes(LevelSize(format, picture.width, picture.height));
    std::uint64_t state = 88172645463325252ull;
    for (std::uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

void DecodeSpeeds(const RgbaImage& picture) {
    std::printf("decoding a %ux%u level on one core, best of %d runs:\n", picture.width,
                picture.height, kRuns);
    const double megapixels = static_cast<double>(picture.width) * picture.height / 1e6;
    for (const FormatInfo* format : AllFormats()) {
        const std::vector<std::uint8_t> stored = LevelToDecode(*format, picture);
        double best = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            const double start = ThreadSeconds();
            DecodeLevel(*format, picture.width, picture.height, stored);
            best = std::min(best, ThreadSeconds() - start);
        }
        std::printf("  %-18s %8.1f MPix/s  (%6.1f ms)\n", format->name, megapixels / best,
                    best * 1e3);
    }
}

void ImportTimes(const RgbaImage& picture) {
    std::printf("importing the %ux%u picture with its mip chain, every core, one run each:\n",
                picture.width, picture.height);
    const double megapixels = Megapixels(Chain(picture));
    // Every import of a PNG file begins by reading it; the encoding below follows.
    RgbaImage stored = picture;
    FlipRows(stored);
    const std::vector<std::uint8_t> png =
        ExportPng(
            kestrova::testing::MakeBody(picture.width, picture.height, 4, false, stored.pixels))
            .bytes;
    RgbaImage read;
    bool hasAlpha = false;
    const Timing reading = Measure([&] { ReadPng(png, read, hasAlpha); });
    std::printf("  %-18s %8.2f s wall %8.2f s processor  (%zu bytes of PNG)\n", "reading the PNG",
                reading.wall, reading.processor, png.size());
    for (const FormatInfo* format : AllFormats()) {
        if (!CanEncode(*format)) {
            std::printf("  %-18s no encoder\n", format->name);
            continue;
        }
        std::size_t bytes = 0;
        const Timing t = Measure([&] { bytes = EncodeImageData(*format, picture, true).size(); });
        std::printf("  %-18s %8.2f s wall %8.2f s processor %8.1f MPix/s  (%zu bytes)\n",
                    format->name, t.wall, t.processor, megapixels / t.wall, bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure shows as soon as it is measured
    const std::string only = argc > 1 ? argv[1] : "";  // "decode", "import", "encoders", "real"
    const std::string folder = kestrova::testing::RealDataFolder();
    std::vector<RealTexture> textures;
    kestrova::testing::TempFolder temp;
    if (folder.empty()) {
        std::printf("KESTROVA_REALDATA names no folder; the real textures are skipped.\n");
    } else {
        textures =
            kestrova::testing::LoadRealTextures(folder, kestrova::Utf8ToUtf16(temp.File("Temp")));
    }
    if (!textures.empty() && (only.empty() || only == "real")) {
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

    std::string source;
    const RgbaImage picture = TestPicture(4096, source);
    std::printf("test picture: %s\n", source.c_str());
    if (only.empty() || only == "decode") {
        RgbaImage small = HalveImage(HalveImage(picture));  // 1024x1024
        DecodeSpeeds(small);
    }
    if (only.empty() || only == "import") {
        ImportTimes(picture);
    }
    if (only.empty() || only == "encoders") {
        const std::vector<RgbaImage> chain = Chain(picture);
        for (std::uint32_t id : {12u, 10u}) {
            const FormatInfo& format = *FindFormat(id);
            CompareEncoders(format, chain, RealLevels(textures, format));
        }
    }
    return 0;
}
