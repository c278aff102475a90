#include "plugins/texture/texture_body.h"

#include <utility>

namespace kestrova::texture {

bool BodyReader::ReadByte(std::uint8_t& value) {
    if (remaining() < 1) {
        return false;
    }
    value = bytes_[position_++];
    return true;
}

bool BodyReader::ReadLittleEndian32(std::uint32_t& value) {
    if (remaining() < 4) {
        return false;
    }
    const std::uint8_t* p = bytes_.data() + position_;
    value = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
            (std::uint32_t{p[3]} << 24);
    position_ += 4;
    return true;
}

bool BodyReader::ReadView(std::uint64_t count, std::span<const std::uint8_t>& view) {
    if (count > remaining()) {
        view = {};
        return false;
    }
    view = bytes_.subspan(position_, count);
    position_ += count;
    return true;
}

namespace {

std::uint32_t PaddingAfter(std::uint64_t length) {
    return static_cast<std::uint32_t>((4 - length % 4) % 4);
}

bool ReadHeader(BodyReader& reader, TextureHeader& h) {
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

// Why the fields do not describe the data, or empty when they do. Sets the format and levels.
std::string CheckLayout(Texture& t) {
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
    std::vector<MipLevel> levels = MipChain(*format, h.width, h.height, h.mipMaps != 0);
    const std::uint64_t chain = levels.empty() ? 0 : levels.back().offset + levels.back().size;
    if (h.completeImageSize != chain) {
        return "The complete image size (" + std::to_string(h.completeImageSize) +
               " bytes) does not fit a " + Sides(h) + " " + format->name + " texture with " +
               std::to_string(levels.size()) + " mip levels (" + std::to_string(chain) + " bytes).";
    }
    const std::uint64_t expected = chain * h.imageCount;
    if (t.imageData.size() != expected) {
        return "The image data holds " + std::to_string(t.imageData.size()) + " bytes, but " +
               std::to_string(h.imageCount) + " images of " + std::to_string(chain) +
               " bytes need " + std::to_string(expected) + ".";
    }
    t.format = format;
    t.levels = std::move(levels);
    return {};
}

void PutLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

}  // namespace

TextureParse ParseTexture(std::span<const std::uint8_t> body) {
    TextureParse result;
    Texture& t = result.texture;
    BodyReader reader(body);
    std::uint32_t dataLength = 0;
    if (!ReadHeader(reader, t.header) || !reader.ReadLittleEndian32(dataLength)) {
        result.problem = "The texture's fields are cut short: they take " +
                         std::to_string(kHeaderSize) + " bytes, the asset holds " +
                         std::to_string(body.size()) + ".";
        return result;
    }
    result.headerRead = true;
    const std::uint64_t available = reader.remaining();
    if (!reader.ReadView(dataLength, t.imageData)) {
        result.problem = "The image data is said to hold " + std::to_string(dataLength) +
                         " bytes, but only " + std::to_string(available) +
                         " follow the texture's fields.";
        return result;
    }
    // Padding that a damaged or foreign writer left out is not required.
    std::span<const std::uint8_t> padding;
    const std::uint64_t paddingLength = PaddingAfter(dataLength);
    reader.ReadView(paddingLength < reader.remaining() ? paddingLength : reader.remaining(),
                    padding);
    reader.ReadView(reader.remaining(), t.trailing);
    result.problem = CheckLayout(t);
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
    const std::uint32_t padding = PaddingAfter(imageData.size());
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

std::string DescribeTexture(const TextureHeader& h) {
    return "Width: " + std::to_string(h.width) + " · Height: " + std::to_string(h.height) +
           " · Format: " + FormatName(h.format) +
           " · Mip levels: " + std::to_string(MipLevelCount(h.width, h.height, h.mipMaps != 0));
}

}  // namespace kestrova::texture
