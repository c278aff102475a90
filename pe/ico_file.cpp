#include "pe/ico_file.h"

#include "common/text.h"
#include "pe/pe_image.h"
#include "sdk/byte_reader.h"

namespace kestrova::ravelin {

namespace {

constexpr std::uint16_t kIconType = 1;
constexpr std::uint64_t kHeaderSize = 6;
constexpr std::uint64_t kEntrySize = 16;

Outcome Refuse(const std::u16string& why) {
    return Outcome::Failure(u"Not a usable icon file: " + why + u".");
}

}  // namespace

Outcome ReadIconFile(std::span<const std::uint8_t> file, std::vector<IconImage>& images) {
    images.clear();
    ByteReader reader(file);
    std::uint16_t reserved = 0;
    std::uint16_t type = 0;
    std::uint16_t count = 0;
    if (!reader.ReadLittleEndian16(reserved) || !reader.ReadLittleEndian16(type) ||
        !reader.ReadLittleEndian16(count)) {
        return Refuse(u"it is shorter than an icon file's header");
    }
    if (reserved != 0 || type != kIconType) {
        return Refuse(u"its header is not an icon file's");
    }
    if (!reader.Contains(kHeaderSize, kEntrySize * count)) {
        return Refuse(u"its directory of " + DecimalText(count) + u" images runs past its end");
    }
    images.resize(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        IconImage& image = images[i];
        std::uint8_t ignored = 0;
        std::uint32_t size = 0;
        std::uint32_t offset = 0;
        reader.ReadByte(image.width);
        reader.ReadByte(image.height);
        reader.ReadByte(image.colorCount);
        reader.ReadByte(ignored);
        reader.ReadLittleEndian16(image.planes);
        reader.ReadLittleEndian16(image.bitCount);
        reader.ReadLittleEndian32(size);
        reader.ReadLittleEndian32(offset);
        if (size == 0 || !reader.Contains(offset, size)) {
            images.clear();
            return Refuse(u"image " + DecimalText(i + 1) + u" (" + DecimalText(size) +
                          u" bytes at " + DecimalText(offset) + u") lies outside the file");
        }
        image.bytes = file.subspan(offset, size);
    }
    return Outcome::Success();
}

void StoreIconDescription(std::vector<std::uint8_t>& out, std::uint64_t at,
                          const IconImage& image) {
    out.at(at) = image.width;
    out.at(at + 1) = image.height;
    out.at(at + 2) = image.colorCount;
    out.at(at + 3) = 0;
    StoreLittleEndian16(out, at + 4, image.planes);
    StoreLittleEndian16(out, at + 6, image.bitCount);
    StoreLittleEndian32(out, at + 8, static_cast<std::uint32_t>(image.bytes.size()));
}

std::vector<std::uint8_t> WriteIconFile(std::span<const IconImage> images) {
    std::vector<std::uint8_t> out(kHeaderSize + kEntrySize * images.size());
    StoreLittleEndian16(out, 2, kIconType);
    StoreLittleEndian16(out, 4, static_cast<std::uint16_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint64_t at = kHeaderSize + kEntrySize * i;
        StoreIconDescription(out, at, images[i]);
        StoreLittleEndian32(out, at + 12, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), images[i].bytes.begin(), images[i].bytes.end());
    }
    return out;
}

std::vector<std::uint8_t> MakeIconBitmap(std::uint32_t width, std::uint32_t height,
                                         std::span<const std::uint8_t> pixels) {
    constexpr std::uint32_t kInfoSize = 40;
    const std::uint64_t maskStride = AlignUp((width + 7) / 8, 4);
    const std::uint64_t colorSize = std::uint64_t{width} * height * 4;
    if (pixels.size() < colorSize) {
        return {};
    }
    std::vector<std::uint8_t> out(kInfoSize + colorSize + maskStride * height, 0);
    StoreLittleEndian32(out, 0, kInfoSize);
    StoreLittleEndian32(out, 4, width);
    StoreLittleEndian32(out, 8, 2 * height);  // the colours and the mask, one above the other
    StoreLittleEndian16(out, 12, 1);
    StoreLittleEndian16(out, 14, 32);
    StoreLittleEndian32(out, 20, static_cast<std::uint32_t>(out.size() - kInfoSize));
    for (std::uint64_t y = 0; y < height; ++y) {
        // Bitmaps store their bottom row first.
        const std::uint64_t row = height - 1 - y;
        for (std::uint64_t x = 0; x < width; ++x) {
            const std::uint8_t* p = pixels.data() + (y * width + x) * 4;
            std::uint8_t* q = out.data() + kInfoSize + (row * width + x) * 4;
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = p[3];
            if (p[3] == 0) {
                out[kInfoSize + colorSize + row * maskStride + x / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return out;
}

}  // namespace kestrova::ravelin
