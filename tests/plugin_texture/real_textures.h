#pragma once
// Every Texture2D body of the sample games, read through the document library (the plug-in
// itself never links it), and small helpers over texture bodies shared by the tests and the
// benchmark.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "editor/document/asset_file.h"

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

// Loads every file of kTextureFiles from `folder` (working copies go to `workingFolder`) and
// returns the bodies of their Texture2D assets (type 0x1C) in file and table order.
inline std::vector<RealTexture> LoadRealTextures(const std::string& folder,
                                                 const std::u16string& workingFolder) {
    std::vector<RealTexture> textures;
    for (const TextureFile& file : kTextureFiles) {
        AssetFile doc;
        doc.workingFolder = workingFolder;
        if (!LoadAssetFile(doc, Utf8ToUtf16(folder + "/" + file.name)).ok) {
            continue;
        }
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            if (doc.entries[i].typeId != 0x1C) {
                continue;
            }
            textures.push_back({file.name, Utf16ToUtf8(doc.entries[i].name),
                                ReadAssetBody(doc, i).value_or(std::vector<std::uint8_t>{})});
        }
        CloseAssetFile(doc);
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

}  // namespace kestrova::testing
