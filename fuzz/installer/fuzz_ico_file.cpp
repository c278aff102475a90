// Reads arbitrary bytes as an icon file; what reads is written again and must read back as the
// same images.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "pe/ico_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova::ravelin;
    std::vector<IconImage> images;
    if (!ReadIconFile(std::span(data, size), images)) {
        return 0;
    }
    const std::vector<std::uint8_t> written = WriteIconFile(images);
    std::vector<IconImage> again;
    if (!ReadIconFile(written, again) || again.size() != images.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& a = images[i];
        const IconImage& b = again[i];
        if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount ||
            !std::equal(a.bytes.begin(), a.bytes.end(), b.bytes.begin(), b.bytes.end())) {
            std::abort();
        }
    }
    return 0;
}
