#pragma once
// Windows icon files (.ico): a 6-byte header (reserved, type, image count), one 16-byte directory
// entry per image (width, height, colour count, reserved, planes, bits per pixel, byte count,
// offset), and the images. Packaging puts the images into an installer's icon resources.

#include <cstdint>
#include <span>
#include <vector>

#include "common/outcome.h"

namespace kestrova::ravelin {

struct IconImage {
    std::uint8_t width = 0;  // 0 stands for 256
    std::uint8_t height = 0;
    std::uint8_t colorCount = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::span<const std::uint8_t> bytes;  // the image as stored (a bitmap or a PNG)
};

// Reads the directory of an icon file; the images are views into `file`. Refuses a file that is
// not an icon file or whose images do not lie inside it, saying what is wrong.
Outcome ReadIconFile(std::span<const std::uint8_t> file, std::vector<IconImage>& images);

// The 12 bytes that describe an image in an icon file's directory and in an icon group resource
// alike (width, height, colour count, a reserved byte, planes, bits per pixel, byte count), written
// at `at`, which the caller knows to lie inside `out`.
void StoreIconDescription(std::vector<std::uint8_t>& out, std::uint64_t at, const IconImage& image);

// An icon file of `images`, in this order, each image right after the directory and the images
// before it.
std::vector<std::uint8_t> WriteIconFile(std::span<const IconImage> images);

// An icon image as a 32-bit bitmap from `pixels` (width x height, rows from the top, each pixel
// red, green, blue, alpha), with the transparency mask that older Windows versions use. Empty when
// `pixels` is too short.
std::vector<std::uint8_t> MakeIconBitmap(std::uint32_t width, std::uint32_t height,
                                         std::span<const std::uint8_t> pixels);

}  // namespace kestrova::ravelin
