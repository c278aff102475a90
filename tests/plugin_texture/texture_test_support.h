#pragma once
// What the texture tests and the benchmark share: every Texture2D body of the sample games, read
// through the document library (the plug-in itself never links it), bodies built from parts, and
// the difference between two images.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "document/asset_file.h"
#include "plugins/texture/texture_body.h"
#include "plugins/texture/texture_codec.h"

namespace kestrova::testing {

struct RealTexture {
    std::string file;
    std::string name;
    std::vector<std::uint8_t> body;
};

// The files that hold textures, with how many each holds.
struct TextureFile {
    const char* name;
    std::size_t textures;
};
inline constexpr TextureFile kTextureFiles[] = {
    {"ld24_EvilTestsWin32_sharedassets1.assets", 34},
    {"ld24_EvilTestsWin32_unity_default_resources", 43},
    {"ld24_Ludum_Data_resources.assets", 1},
    {"ld24_EvilTestsWin32_sharedassets0.assets", 1},
};
inline constexpr std::size_t kRealTextureCount = 79;

// The folder of the sample games, or empty when KESTROVA_REALDATA names none.
inline std::string RealDataFolder() {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    return folder != nullptr && std::filesystem::is_directory(folder) ? folder : std::string();
}

// Appends the bodies of the Texture2D assets (type 0x1C) of the file at `path`, in table order.
inline void AppendRealTextures(const std::string& path, const std::string& name,
                               const std::u16string& workingFolder,
                               std::vector<RealTexture>& textures) {
    AssetFile doc;
    doc.workingFolder = workingFolder;
    if (!LoadAssetFile(doc, Utf8ToUtf16(path)).ok) {
        return;
    }
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        if (doc.entries[i].typeId == 0x1C) {
            textures.push_back({name, Utf16ToUtf8(doc.entries[i].name),
                                ReadAssetBody(doc, i).value_or(std::vector<std::uint8_t>{})});
        }
    }
    CloseAssetFile(doc);
}

// Loads every file of kTextureFiles from `folder` (working copies go to `workingFolder`) and
// returns the bodies of their Texture2D assets in file and table order.
inline std::vector<RealTexture> LoadRealTextures(const std::string& folder,
                                                 const std::u16string& workingFolder) {
    std::vector<RealTexture> textures;
    for (const TextureFile& file : kTextureFiles) {
        AppendRealTextures(folder + "/" + file.name, file.name, workingFolder, textures);
    }
    return textures;
}

// The same for every file of the later forms' samples in `folder`/modern.
inline std::vector<RealTexture> LoadModernTextures(const std::string& folder,
                                                   const std::u16string& workingFolder) {
    std::vector<RealTexture> textures;
    if (!folder.empty()) {
        for (const auto& item : std::filesystem::recursive_directory_iterator(folder + "/modern")) {
            if (item.is_regular_file()) {
                AppendRealTextures(item.path().string(), item.path().filename().string(),
                                   workingFolder, textures);
            }
        }
    }
    return textures;
}

inline const RealTexture* FindTexture(const std::vector<RealTexture>& textures,
                                      const std::string& name) {
    for (const RealTexture& t : textures) {
        if (t.name == name) {
            return &t;
        }
    }
    return nullptr;
}

inline void PutLittleEndian32(std::vector<std::uint8_t>& body, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        body.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

using Bytes = std::vector<std::uint8_t>;

// A body as the games store it: the fields, the data, zero padding, then `trailing`.
inline Bytes MakeBody(std::uint32_t width, std::uint32_t height, std::uint32_t format, bool mipMaps,
                      const Bytes& data, const Bytes& trailing = {}) {
    texture::TextureHeader h;
    h.width = width;
    h.height = height;
    h.completeImageSize = static_cast<std::uint32_t>(data.size());
    h.format = format;
    h.mipMaps = mipMaps ? 1 : 0;
    h.readAllowed = 1;
    h.imageCount = 1;
    h.dimension = 2;
    h.filterMode = 1;
    h.anisoLevel = 1;
    h.mipBiasBits = 0x3F000000;  // 0.5f
    h.wrapMode = 1;
    h.lightmapFormat = 3;
    h.colorSpace = 1;
    return texture::WriteTexture(h, data, trailing);
}

// Bytes that differ from their neighbours, for pictures and data.
inline Bytes Sequence(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    return out;
}

// Mean and largest absolute difference of two equally sized images, over all channels.
struct Difference {
    double mean = 0;
    int largest = 0;
};
inline Difference Compare(const texture::RgbaImage& a, const texture::RgbaImage& b) {
    Difference d;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        const int delta = std::abs(a.pixels[i] - b.pixels[i]);
        d.mean += delta;
        d.largest = std::max(d.largest, delta);
    }
    d.mean /= a.pixels.empty() ? 1 : static_cast<double>(a.pixels.size());
    return d;
}

// Squared error summed over images, for the peak signal-to-noise ratio of an encoding.
struct SquaredError {
    double sum = 0;
    std::uint64_t samples = 0;

    void Add(const texture::RgbaImage& source, const texture::RgbaImage& decoded) {
        for (std::size_t i = 0; i < source.pixels.size() && i < decoded.pixels.size(); ++i) {
            const double d = static_cast<double>(source.pixels[i]) - decoded.pixels[i];
            sum += d * d;
        }
        samples += source.pixels.size();
    }
    // In decibels; 99 for an exact copy.
    double Psnr() const {
        return sum == 0 ? 99.0
                        : 10 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / sum);
    }
};

// The stored bytes of one level of a parsed texture, and its pixels in stored row order.
inline std::span<const std::uint8_t> LevelBytes(const texture::Texture& t, std::size_t level) {
    return t.imageData.subspan(t.levels[level].offset, t.levels[level].size);
}
inline texture::RgbaImage DecodeStoredLevel(const texture::Texture& t, std::size_t level) {
    return texture::DecodeLevel(*t.format, t.levels[level].width, t.levels[level].height,
                                LevelBytes(t, level));
}

}  // namespace kestrova::testing
