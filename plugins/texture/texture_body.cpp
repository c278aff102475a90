#include "plugins/texture/texture_body.h"

#include <utility>

#include "plugins/texture/texture_fields.h"
#include "sdk/byte_reader.h"

namespace kestrova::texture {

namespace {

bool ReadHeader(ByteReader& reader, TextureHeader& h) {
    return reader.ReadLittleEndian32(h.width) && reader.ReadLittleEndian32(h.height) &&
           reader.ReadLittleEndian32(h.completeImageSize) && reader.ReadLittleEndian32(h.format) &&
           reader.ReadByte(h.mipMaps) && reader.ReadByte(h.readable) &&
           reader.ReadByte(h.readAllowed) && reader.ReadByte(h.padByte) &&
           reader.ReadLittleEndian32(h.imageCount) && reader.ReadLittleEndian32(h.dimension) &&
           reader.ReadLittleEndian32(h.filterMode) && reader.ReadLittleEndian32(h.anisoLevel) &&
           reader.ReadLittleEndian32(h.mipBiasBits) && reader.ReadLittleEndian32(h.wrapMode) &&
           reader.ReadLittleEndian32(h.lightmapFormat) && reader.ReadLittleEndian32(h.colorSpace);
}

std::string Sides(const TextureHeader& h) {
    return std::to_string(h.width) + " × " + std::to_string(h.height);
}

}  // namespace

std::string CheckLayout(Texture& t, std::uint64_t dataLength) {
    const TextureHeader& h = t.header;
    if (h.width > kMaxSide || h.height > kMaxSide) {
        return "The texture claims to be " + Sides(h) + " pixels; sides above " +
               std::to_string(kMaxSide) + " are taken for damage.";
    }
    const FormatInfo* format = FindFormat(h.format);
    if (IsCrunchedFormat(h.format)) {
        return "The texture is stored in " + FormatName(h.format) +
               ", a crunched format that this plug-in cannot decode.";
    }
    if (format == nullptr) {
        return "The texture is stored in " + FormatName(h.format) +
               ", which this plug-in does not know; it knows " + KnownFormatNames() + ".";
    }
    std::vector<MipLevel> levels = MipChain(*format, h.width, h.height, h.mipCount > 1);
    if (!levels.empty() && (h.mipCount == 0 || h.mipCount > levels.size())) {
        return "The texture claims " + std::to_string(h.mipCount) + " mip levels; a " + Sides(h) +
               " texture has 1 to " + std::to_string(levels.size()) + ".";
    }
    if (!levels.empty()) {
        levels.resize(h.mipCount);
    }
    const std::uint64_t chain = levels.empty() ? 0 : levels.back().offset + levels.back().size;
    if (h.completeImageSize != chain) {
        return "The complete image size (" + std::to_string(h.completeImageSize) +
               " bytes) does not fit a " + Sides(h) + " " + format->name + " texture with " +
               std::to_string(levels.size()) + " mip levels (" + std::to_string(chain) + " bytes).";
    }
    const std::uint64_t expected = chain * h.imageCount;
    if (dataLength != expected) {
        return "The image data holds " + std::to_string(dataLength) + " bytes, but " +
               std::to_string(h.imageCount) + " images of " + std::to_string(chain) +
               " bytes need " + std::to_string(expected) + ".";
    }
    t.format = format;
    t.levels = std::move(levels);
    return {};
}

TextureParse ParseTexture(std::span<const std::uint8_t> body) {
    TextureParse result;
    Texture& t = result.texture;
    ByteReader reader(body);
    std::uint32_t dataLength = 0;
    if (!ReadHeader(reader, t.header) || !reader.ReadLittleEndian32(dataLength)) {
        result.problem = "The texture's fields are cut short: they take " +
                         std::to_string(kHeaderSize) + " bytes, the asset holds " +
                         std::to_string(body.size()) + ".";
        return result;
    }
    result.headerRead = true;
    t.header.mipCount = MipLevelCount(t.header.width, t.header.height, t.header.mipMaps != 0);
    const std::uint64_t available = reader.remaining();
    if (!reader.Take(dataLength, t.imageData)) {
        result.problem = "The image data is said to hold " + std::to_string(dataLength) +
                         " bytes, but only " + std::to_string(available) +
                         " follow the texture's fields.";
        return result;
    }
    // Padding that a damaged or foreign writer left out is not required.
    reader.TakeAtMost(PaddingFor(dataLength));
    t.trailing = reader.TakeRest();
    result.problem = CheckLayout(t, t.imageData.size());
    // Later engine versions lay a Texture2D out differently: a body whose dimension is not a 2D
    // texture's, or whose sizes do not fit its own known format, is not one this plug-in reads,
    // and its words are not shown as the fields they are not.
    const bool understood = t.header.dimension == kDimension2D &&
                            (t.format != nullptr || FindFormat(t.header.format) == nullptr);
    if (!understood) {
        result.headerRead = false;
        t.format = nullptr;
        t.levels.clear();
        const std::string why = t.header.dimension != kDimension2D
                                    ? "its dimension word is " +
                                          std::to_string(t.header.dimension) +
                                          ", where a 2D texture has 2."
                                    : result.problem;
        result.problem =
            "This is not a Texture2D body as this plug-in reads it (the layout of "
            "the engine's earlier versions): " +
            why;
    }
    return result;
}

std::vector<std::uint8_t> WriteTexture(const TextureHeader& h,
                                       std::span<const std::uint8_t> imageData,
                                       std::span<const std::uint8_t> trailing) {
    std::vector<std::uint8_t> out;
    const std::size_t padding = PaddingFor(imageData.size());
    out.reserve(kHeaderSize + imageData.size() + padding + trailing.size());
    for (std::uint32_t v : {h.width, h.height, h.completeImageSize, h.format}) {
        PutLittleEndian32(out, v);
    }
    out.insert(out.end(), {h.mipMaps, h.readable, h.readAllowed, h.padByte});
    for (std::uint32_t v : {h.imageCount, h.dimension, h.filterMode, h.anisoLevel, h.mipBiasBits,
                            h.wrapMode, h.lightmapFormat, h.colorSpace}) {
        PutLittleEndian32(out, v);
    }
    PutLittleEndian32(out, static_cast<std::uint32_t>(imageData.size()));
    out.insert(out.end(), imageData.begin(), imageData.end());
    out.insert(out.end(), padding, std::uint8_t{0});
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

TextureParse ParseTexture(std::span<const std::uint8_t> body, const TextureContext& context) {
    if (UsesFieldLayout(context)) {
        return ParseFieldTexture(body, context);
    }
    return ParseTexture(body);
}

std::string DescribeTexture(const Texture& t) {
    const TextureHeader& h = t.header;
    std::string text =
        "Width: " + std::to_string(h.width) + " · Height: " + std::to_string(h.height) +
        " · Format: " + FormatName(h.format) + " · Mip levels: " + std::to_string(h.mipCount);
    if (t.fields != nullptr) {
        text += t.stream.used() ? " · Pixels: streamed from " + t.stream.path + " (" +
                                      std::to_string(t.stream.size) + " bytes at " +
                                      std::to_string(t.stream.offset) + ")"
                                : " · Pixels: inline";
    }
    const FormatInfo* format = FindFormat(h.format);
    if (format != nullptr && format->highRange) {
        text += " · High-range colour, shown tone-mapped to 8 bits";
    }
    return text;
}

}  // namespace kestrova::texture
