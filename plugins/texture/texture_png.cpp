#include "plugins/texture/texture_png.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <cstring>

namespace kestrova::texture {
namespace {

// Enough for the largest image allowed at 16 bits a channel, the widest a PNG decodes to.
constexpr int kDecodeLimitMiB = static_cast<int>(std::uint64_t{kMaxSide} * kMaxSide * 8 >> 20);

Conversion Refused(std::string why) {
    return {{}, std::move(why)};
}

}  // namespace

Conversion ExportPng(std::span<const std::uint8_t> body) {
    return ExportPng(ParseTexture(body));
}

Conversion ExportPng(const TextureParse& parsed) {
    if (!parsed.usable()) {
        return Refused(parsed.problem);
    }
    if (parsed.texture.empty()) {
        return Refused("The texture holds no image to export.");
    }
    RgbaImage image = DecodeTopLevel(parsed.texture);
    if (image.pixels.empty()) {
        return Refused(std::string("The texture's ") + parsed.texture.format->name +
                       " blocks could not be decoded.");
    }
    QImage picture(image.pixels.data(), static_cast<int>(image.width),
                   static_cast<int>(image.height), static_cast<qsizetype>(image.width) * 4,
                   QImage::Format_RGBA8888);
    if (!parsed.texture.format->hasAlpha) {
        picture = picture.convertToFormat(QImage::Format_RGB888);
    }
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) {
        return Refused("The PNG image could not be written: " + writer.errorString().toStdString());
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData());
    return {{bytes, bytes + file.size()}, {}};
}

Conversion ReadPng(std::span<const std::uint8_t> png, RgbaImage& image, bool& hasAlpha) {
    QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(png.data()),
                                              static_cast<qsizetype>(png.size()));
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(kDecodeLimitMiB);
    if (!reader.canRead()) {
        return Refused("The file is not a PNG image.");
    }
    const QSize size = reader.size();
    if (size.width() < 1 || size.height() < 1 || size.width() > static_cast<int>(kMaxSide) ||
        size.height() > static_cast<int>(kMaxSide)) {
        return Refused("The PNG image is " + std::to_string(size.width()) + " × " +
                       std::to_string(size.height()) + " pixels; a texture's sides run from 1 to " +
                       std::to_string(kMaxSide) + ".");
    }
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        return Refused("The PNG image could not be read: " + reader.errorString().toStdString());
    }
    hasAlpha = picture.hasAlphaChannel();
    picture = picture.convertToFormat(QImage::Format_RGBA8888);
    image = RgbaImage(static_cast<std::uint32_t>(picture.width()),
                      static_cast<std::uint32_t>(picture.height()));
    const std::size_t rowBytes = std::size_t{image.width} * 4;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::memcpy(image.pixels.data() + y * rowBytes, picture.constScanLine(static_cast<int>(y)),
                    rowBytes);
    }
    return {};
}

Conversion ImportPng(std::span<const std::uint8_t> body, std::span<const std::uint8_t> png) {
    return ImportPng(ParseTexture(body), png);
}

Conversion ImportPng(const TextureParse& parsed, std::span<const std::uint8_t> png,
                     const FormatInfo* as) {
    if (!parsed.usable()) {
        return ReplaceImage(parsed, {});
    }
    RgbaImage image;
    bool hasAlpha = false;
    Conversion read = ReadPng(png, image, hasAlpha);
    if (!read.ok()) {
        return read;
    }
    const FormatInfo& target = as != nullptr ? *as : *parsed.texture.format;
    if (!hasAlpha && target.layout == PixelLayout::Alpha8) {
        AlphaFromGrey(image);
    }
    return ReplaceImage(parsed, image, as);
}

}  // namespace kestrova::texture
