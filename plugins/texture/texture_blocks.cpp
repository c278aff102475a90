#include "plugins/texture/texture_blocks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KESTROVA_X86_VECTOR_STATE 1
#endif

namespace kestrova::texture {
namespace {

// The largest block of any format: 12x12 pixels.
constexpr std::size_t kMaxTileBytes = 12 * 12 * 4;

std::size_t BlocksAcross(const FormatInfo& format, std::uint32_t width) {
    return std::max<std::size_t>(1,
                                 (std::size_t{width} + format.blockWidth - 1) / format.blockWidth);
}

}  // namespace

std::size_t BlockRows(const FormatInfo& format, std::uint32_t height) {
    return std::max<std::size_t>(
        1, (std::size_t{height} + format.blockHeight - 1) / format.blockHeight);
}

void DecodeBlocks(const FormatInfo& format, std::span<const std::uint8_t> stored, RgbaImage& image,
                  BlockDecoder decode) {
    const std::size_t bw = format.blockWidth;
    const std::size_t bh = format.blockHeight;
    const std::size_t across = BlocksAcross(format, image.width);
    const std::size_t down = BlockRows(format, image.height);
    if (stored.size() < across * down * format.bytesPerBlock || image.pixels.empty()) {
        return;
    }
    std::uint8_t tile[kMaxTileBytes];
    const std::uint8_t* block = stored.data();
    const std::size_t rowBytes = std::size_t{image.width} * 4;
    for (std::size_t by = 0; by < down; ++by) {
        const std::size_t rows = std::min(bh, image.height - by * bh);
        for (std::size_t bx = 0; bx < across; ++bx, block += format.bytesPerBlock) {
            decode(block, tile);
            const std::size_t columns = std::min(bw, image.width - bx * bw);
            std::uint8_t* out = image.pixels.data() + by * bh * rowBytes + bx * bw * 4;
            if (columns == 4 && rows == 4 && bw == 4) {
                // The common whole 4x4 tile: copies of a fixed length, which compile to moves.
                for (std::size_t y = 0; y < 4; ++y, out += rowBytes) {
                    std::memcpy(out, tile + y * 16, 16);
                }
                continue;
            }
            for (std::size_t y = 0; y < rows; ++y, out += rowBytes) {
                std::memcpy(out, tile + y * bw * 4, columns * 4);
            }
        }
    }
}

void EncodeBlockRows(const FormatInfo& format, const RgbaImage& image, std::size_t firstRow,
                     std::size_t rowCount, std::uint8_t* level, BlockEncoder encode) {
    const std::size_t bw = format.blockWidth;
    const std::size_t bh = format.blockHeight;
    const std::size_t across = BlocksAcross(format, image.width);
    std::uint8_t tile[kMaxTileBytes];
    for (std::size_t by = firstRow; by < firstRow + rowCount; ++by) {
        std::uint8_t* block = level + by * across * format.bytesPerBlock;
        for (std::size_t bx = 0; bx < across; ++bx, block += format.bytesPerBlock) {
            for (std::size_t y = 0; y < bh; ++y) {
                const std::size_t sy = std::min<std::size_t>(by * bh + y, image.height - 1);
                for (std::size_t x = 0; x < bw; ++x) {
                    const std::size_t sx = std::min<std::size_t>(bx * bw + x, image.width - 1);
                    std::memcpy(tile + (y * bw + x) * 4,
                                image.pixels.data() + (sy * image.width + sx) * 4, 4);
                }
            }
            encode(tile, block);
        }
    }
}

#ifdef KESTROVA_X86_VECTOR_STATE
__attribute__((target("avx"))) static void ZeroUpper() {
    _mm256_zeroupper();
}
#endif

void ClearUpperVectorState() {
#ifdef KESTROVA_X86_VECTOR_STATE
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) {
        ZeroUpper();
    }
#endif
}

void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& work) {
    const std::size_t threads =
        std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            work(i);
        }
    };
    if (threads <= 1) {
        run();
        return;
    }
    std::vector<std::jthread> helpers;
    helpers.reserve(threads - 1);
    for (std::size_t t = 1; t < threads; ++t) {
        helpers.emplace_back(run);
    }
    run();
}

}  // namespace kestrova::texture
