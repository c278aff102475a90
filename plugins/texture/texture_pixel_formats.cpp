#include "plugins/texture/texture_pixel_formats.h"

#include <cstring>

#include "plugins/texture/texture_high_range.h"

namespace kestrova::texture {
namespace {

// Widening an n-bit channel repeats its top bits below it, so 0 and the maximum map to 0 and
// 255; narrowing rounds to the nearest step, which gives every widened value back unchanged.
std::uint8_t Widen4(std::uint32_t v) {
    return static_cast<std::uint8_t>(v * 17);
}
std::uint8_t Widen5(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}
std::uint8_t Widen6(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 2) | (v >> 4));
}
std::uint32_t Narrow(std::uint32_t v, std::uint32_t steps) {
    return (v * steps + 127) / 255;
}

std::uint32_t Word16(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8);
}
void PutWord16(std::uint8_t* p, std::uint32_t w) {
    p[0] = static_cast<std::uint8_t>(w);
    p[1] = static_cast<std::uint8_t>(w >> 8);
}
std::uint32_t Word32(const std::uint8_t* p) {
    return Word16(p) | (Word16(p + 2) << 16);
}
void PutWord32(std::uint8_t* p, std::uint32_t w) {
    PutWord16(p, w & 0xFFFF);
    PutWord16(p + 2, w >> 16);
}

// Float formats: `channels` halves or floats a pixel, the missing colour channels 0, alpha 1.
template <typename Read>
void UnpackFloats(const std::uint8_t* in, std::size_t count, std::uint8_t* out, int channels,
                  int bytesPerChannel, Read read) {
    for (std::size_t i = 0; i < count; ++i, out += 4) {
        float rgba[4] = {0, 0, 0, 1};
        for (int c = 0; c < channels; ++c, in += bytesPerChannel) {
            rgba[c] = read(in);
        }
        ToneMap(rgba, out);
    }
}

template <typename Write>
void PackFloats(const std::uint8_t* in, std::size_t count, std::uint8_t* out, int channels,
                int bytesPerChannel, Write write) {
    for (std::size_t i = 0; i < count; ++i, in += 4) {
        for (int c = 0; c < channels; ++c, out += bytesPerChannel) {
            write(out, static_cast<float>(in[c]) / 255.0f);
        }
    }
}

float ReadHalf(const std::uint8_t* p) {
    return HalfToFloat(static_cast<std::uint16_t>(Word16(p)));
}
float ReadFloat(const std::uint8_t* p) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
}
void WriteHalf(std::uint8_t* p, float v) {
    PutWord16(p, FloatToHalf(v));
}
void WriteFloat(std::uint8_t* p, float v) {
    std::memcpy(p, &v, 4);
}

// Formats of one byte a channel: where red, green, blue and alpha lie in a pixel (-1: absent)
// and what an absent colour channel shows as.
struct ByteOrder {
    PixelLayout layout;
    int size;
    int position[4];
    std::uint8_t absentColour;
};
constexpr ByteOrder kByteOrders[] = {
    {PixelLayout::Alpha8, 1, {-1, -1, -1, 0}, 255}, {PixelLayout::R8, 1, {0, -1, -1, -1}, 0},
    {PixelLayout::Rg16, 2, {0, 1, -1, -1}, 0},      {PixelLayout::Rgb24, 3, {0, 1, 2, -1}, 0},
    {PixelLayout::Rgba32, 4, {0, 1, 2, 3}, 0},      {PixelLayout::Argb32, 4, {1, 2, 3, 0}, 0},
    {PixelLayout::Bgra32, 4, {2, 1, 0, 3}, 0},
};

const ByteOrder* FindByteOrder(PixelLayout layout) {
    for (const ByteOrder& order : kByteOrders) {
        if (order.layout == layout) {
            return &order;
        }
    }
    return nullptr;
}

}  // namespace

void UnpackPixels(PixelLayout layout, const std::uint8_t* in, std::size_t count,
                  std::uint8_t* out) {
    switch (layout) {
        case PixelLayout::RHalf:
            return UnpackFloats(in, count, out, 1, 2, ReadHalf);
        case PixelLayout::RgHalf:
            return UnpackFloats(in, count, out, 2, 2, ReadHalf);
        case PixelLayout::RgbaHalf:
            return UnpackFloats(in, count, out, 4, 2, ReadHalf);
        case PixelLayout::RFloat:
            return UnpackFloats(in, count, out, 1, 4, ReadFloat);
        case PixelLayout::RgFloat:
            return UnpackFloats(in, count, out, 2, 4, ReadFloat);
        case PixelLayout::RgbaFloat:
            return UnpackFloats(in, count, out, 4, 4, ReadFloat);
        default:
            break;
    }
    if (const ByteOrder* order = FindByteOrder(layout)) {
        for (std::size_t i = 0; i < count; ++i, in += order->size, out += 4) {
            for (int c = 0; c < 4; ++c) {
                const int at = order->position[c];
                out[c] = at >= 0 ? in[at] : c == 3 ? 255 : order->absentColour;
            }
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i, out += 4) {
        switch (layout) {
            case PixelLayout::R16:
                out[0] = static_cast<std::uint8_t>((Word16(in) * 255 + 32767) / 65535);
                out[1] = out[2] = 0;
                out[3] = 255;
                in += 2;
                break;
            case PixelLayout::Argb4444:
            case PixelLayout::Rgba4444: {
                std::uint32_t w = Word16(in);
                if (layout == PixelLayout::Rgba4444) {
                    w = (w >> 4) | ((w & 15) << 12);  // to ARGB order
                }
                out[0] = Widen4((w >> 8) & 15);
                out[1] = Widen4((w >> 4) & 15);
                out[2] = Widen4(w & 15);
                out[3] = Widen4(w >> 12);
                in += 2;
                break;
            }
            case PixelLayout::Rgb565: {
                const std::uint32_t w = Word16(in);
                out[0] = Widen5(w >> 11);
                out[1] = Widen6((w >> 5) & 63);
                out[2] = Widen5(w & 31);
                out[3] = 255;
                in += 2;
                break;
            }
            case PixelLayout::Rgb9e5: {
                float rgba[4] = {0, 0, 0, 1};
                UnpackRgb9e5(Word32(in), rgba);
                ToneMap(rgba, out);
                in += 4;
                break;
            }
            default:
                return;  // block formats are not pixels
        }
    }
}

void PackPixels(PixelLayout layout, const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    switch (layout) {
        case PixelLayout::RHalf:
            return PackFloats(in, count, out, 1, 2, WriteHalf);
        case PixelLayout::RgHalf:
            return PackFloats(in, count, out, 2, 2, WriteHalf);
        case PixelLayout::RgbaHalf:
            return PackFloats(in, count, out, 4, 2, WriteHalf);
        case PixelLayout::RFloat:
            return PackFloats(in, count, out, 1, 4, WriteFloat);
        case PixelLayout::RgFloat:
            return PackFloats(in, count, out, 2, 4, WriteFloat);
        case PixelLayout::RgbaFloat:
            return PackFloats(in, count, out, 4, 4, WriteFloat);
        default:
            break;
    }
    if (const ByteOrder* order = FindByteOrder(layout)) {
        for (std::size_t i = 0; i < count; ++i, in += 4, out += order->size) {
            for (int c = 0; c < 4; ++c) {
                if (order->position[c] >= 0) {
                    out[order->position[c]] = in[c];
                }
            }
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i, in += 4) {
        switch (layout) {
            case PixelLayout::R16:
                PutWord16(out, in[0] * 257u);
                out += 2;
                break;
            case PixelLayout::Argb4444:
                PutWord16(out, (Narrow(in[3], 15) << 12) | (Narrow(in[0], 15) << 8) |
                                   (Narrow(in[1], 15) << 4) | Narrow(in[2], 15));
                out += 2;
                break;
            case PixelLayout::Rgba4444:
                PutWord16(out, (Narrow(in[0], 15) << 12) | (Narrow(in[1], 15) << 8) |
                                   (Narrow(in[2], 15) << 4) | Narrow(in[3], 15));
                out += 2;
                break;
            case PixelLayout::Rgb565:
                PutWord16(out,
                          (Narrow(in[0], 31) << 11) | (Narrow(in[1], 63) << 5) | Narrow(in[2], 31));
                out += 2;
                break;
            case PixelLayout::Rgb9e5: {
                const float rgb[3] = {in[0] / 255.0f, in[1] / 255.0f, in[2] / 255.0f};
                PutWord32(out, PackRgb9e5(rgb));
                out += 4;
                break;
            }
            default:
                return;
        }
    }
}

}  // namespace kestrova::texture
