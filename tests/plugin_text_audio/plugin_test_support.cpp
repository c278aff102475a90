#include "tests/plugin_text_audio/plugin_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "editor/document/asset_file.h"

namespace kestrova::testing {
namespace {

void PutLittle16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutTag(Bytes& out, std::string_view tag) {
    out.insert(out.end(), tag.begin(), tag.end());
}

}  // namespace

Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t frames) {
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    const std::uint32_t dataBytes = frames * blockAlign;
    Bytes out;
    PutTag(out, "RIFF");
    PutLittle32(out, 36 + dataBytes);
    PutTag(out, "WAVEfmt ");
    PutLittle32(out, 16);
    PutLittle16(out, 1);
    PutLittle16(out, channels);
    PutLittle32(out, rate);
    PutLittle32(out, rate * blockAlign);
    PutLittle16(out, blockAlign);
    PutLittle16(out, bits);
    PutTag(out, "data");
    PutLittle32(out, dataBytes);
    out.resize(out.size() + dataBytes, 0);
    return out;
}

std::string RealDataFolder() {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    if (folder == nullptr || !std::filesystem::is_directory(folder)) {
        return {};
    }
    return folder;
}

std::vector<RealAsset> RealAssetsOfType(std::uint32_t typeId) {
    std::vector<RealAsset> found;
    const std::string folder = RealDataFolder();
    if (folder.empty()) {
        return found;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    TempFolder work;
    for (const std::filesystem::path& path : files) {
        AssetFile doc;
        doc.workingFolder = Utf8ToUtf16(work.File("Temp"));
        if (!LoadAssetFile(doc, Utf8ToUtf16(path.string())).ok) {
            continue;  // not an asset file (the notes beside them, a newer format)
        }
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            const AssetEntry& entry = doc.entries[i];
            if (entry.typeId != typeId) {
                continue;
            }
            RealAsset asset{path.filename().string(), Utf16ToUtf8(entry.name), entry.pathId, {}};
            asset.body = ReadAssetBody(doc, i).value_or(Bytes{});
            found.push_back(std::move(asset));
        }
        CloseAssetFile(doc);
    }
    return found;
}

}  // namespace kestrova::testing
