#include "plugins/texture/texture_astc.h"

#define ASTCENC_DYNAMIC_LIBRARY
#include <astcenc.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "plugins/texture/texture_blocks.h"
#include "plugins/texture/texture_high_range.h"

namespace kestrova::texture {
namespace {

// How hard the encoder searches: its "fast" effort, which keeps a 4096x4096 import to seconds.
const float kEncodeEffort = ASTCENC_PRE_FAST;

struct ContextFree {
    void operator()(astcenc_context* context) const { astcenc_context_free(context); }
};
using Context = std::unique_ptr<astcenc_context, ContextFree>;

std::string Failure(const char* what, astcenc_error error) {
    return std::string("The ASTC ") + what + " failed: " + astcenc_get_error_string(error) + ".";
}

astcenc_error MakeContext(const FormatInfo& format, unsigned flags, unsigned threads,
                          Context& context) {
    astcenc_config config{};
    const astcenc_profile profile =
        format.layout == PixelLayout::AstcHdr ? ASTCENC_PRF_HDR : ASTCENC_PRF_LDR;
    astcenc_error error = astcenc_config_init(profile, format.blockWidth, format.blockHeight, 1,
                                              kEncodeEffort, flags, &config);
    if (error != ASTCENC_SUCCESS) {
        return error;
    }
    astcenc_context* made = nullptr;
    error = astcenc_context_alloc(&config, threads, &made);
    context.reset(made);
    return error;
}

}  // namespace

std::string DecodeAstcLevel(const FormatInfo& format, std::span<const std::uint8_t> stored,
                            RgbaImage& image) {
    if (image.pixels.empty()) {
        return {};
    }
    // Making a decoder builds tables that take longer than decoding a small level; each thread
    // keeps one per format.
    thread_local std::map<std::uint32_t, Context> decoders;
    Context& context = decoders[format.id];
    if (!context) {
        const astcenc_error error = MakeContext(format, ASTCENC_FLG_DECOMPRESS_ONLY, 1, context);
        if (error != ASTCENC_SUCCESS) {
            decoders.erase(format.id);
            return Failure("decoder could not start", error);
        }
    }
    const bool highRange = format.layout == PixelLayout::AstcHdr;
    std::vector<float> floats(highRange ? image.pixels.size() : 0);
    void* slice = highRange ? static_cast<void*>(floats.data()) : image.pixels.data();
    astcenc_image out{image.width, image.height, 1, highRange ? ASTCENC_TYPE_F32 : ASTCENC_TYPE_U8,
                      &slice};
    const astcenc_swizzle swizzle{ASTCENC_SWZ_R, ASTCENC_SWZ_G, ASTCENC_SWZ_B,
                                  format.hasAlpha ? ASTCENC_SWZ_A : ASTCENC_SWZ_1};
    const astcenc_error error =
        astcenc_decompress_image(context.get(), stored.data(), stored.size(), &out, &swizzle, 0);
    if (error != ASTCENC_SUCCESS) {
        return Failure("decoding", error);
    }
    for (std::size_t i = 0; i < floats.size(); i += 4) {
        ToneMap(floats.data() + i, image.pixels.data() + i);
    }
    return {};
}

struct AstcEncoder::State {
    explicit State(const FormatInfo& f) : format(f) {}

    const FormatInfo& format;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    Context context;
    astcenc_error error = ASTCENC_SUCCESS;
};

AstcEncoder::AstcEncoder(const FormatInfo& format) : state_(std::make_unique<State>(format)) {
    state_->error = MakeContext(format, 0, state_->threads, state_->context);
}

AstcEncoder::~AstcEncoder() = default;

std::string AstcEncoder::Encode(const RgbaImage& image, std::uint8_t* level) {
    State& s = *state_;
    if (s.error != ASTCENC_SUCCESS) {
        return Failure("encoder could not start", s.error);
    }
    void* slice = const_cast<std::uint8_t*>(image.pixels.data());
    astcenc_image in{image.width, image.height, 1, ASTCENC_TYPE_U8, &slice};
    const astcenc_swizzle swizzle{ASTCENC_SWZ_R, ASTCENC_SWZ_G, ASTCENC_SWZ_B,
                                  s.format.hasAlpha ? ASTCENC_SWZ_A : ASTCENC_SWZ_1};
    const std::size_t size = LevelSize(s.format, image.width, image.height);
    std::mutex failed;
    astcenc_error error = ASTCENC_SUCCESS;
    ParallelFor(s.threads, [&](std::size_t thread) {
        const astcenc_error e = astcenc_compress_image(s.context.get(), &in, &swizzle, level, size,
                                                       static_cast<unsigned>(thread));
        if (e != ASTCENC_SUCCESS) {
            const std::lock_guard lock(failed);
            error = e;
        }
    });
    astcenc_compress_reset(s.context.get());
    return error == ASTCENC_SUCCESS ? std::string() : Failure("encoding", error);
}

}  // namespace kestrova::texture
