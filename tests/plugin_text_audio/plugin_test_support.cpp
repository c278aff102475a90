#include "tests/plugin_text_audio/plugin_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "document/asset_file.h"
#include "sdk/byte_reader.h"

namespace kestrova::testing {
namespace {

void SetLittle(Bytes& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
}

}  // namespace

Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t frames) {
    const std::uint32_t blockAlign = channels * bits / 8u;
    const std::uint32_t dataBytes = frames * blockAlign;
    // Built at its full size: gcc 12 takes small appends to a fresh vector for overflows.
    Bytes out(44 + dataBytes, 0);
    const std::string_view tags = "RIFF....WAVEfmt ";
    std::copy(tags.begin(), tags.end(), out.begin());
    SetLittle(out, 4, 36 + dataBytes, 4);
    SetLittle(out, 16, 16, 4);
    SetLittle(out, 20, 1, 2);  // PCM
    SetLittle(out, 22, channels, 2);
    SetLittle(out, 24, rate, 4);
    SetLittle(out, 28, rate * blockAlign, 4);
    SetLittle(out, 32, blockAlign, 2);
    SetLittle(out, 34, bits, 2);
    const std::string_view data = "data";
    std::copy(data.begin(), data.end(), out.begin() + 36);
    SetLittle(out, 40, dataBytes, 4);
    return out;
}

TestContext::TestContext(std::string engine, std::string_view name, const TypeTree* tree,
                         fuzz::StreamHost& host)
    : engineVersion(std::move(engine)), prefix(NamePrefix(name)) {
    if (tree != nullptr) {
        flat = FlattenTypeTree(*tree);
        view = flat.view();
    }
    context = host.Context(engineVersion.c_str(), prefix, tree != nullptr ? &view : nullptr);
}

Bytes LaterClipBody(bool ambisonic, std::uint32_t channels, std::uint32_t rate,
                    std::string_view source, std::uint64_t offset, std::uint64_t size) {
    Bytes body;
    for (std::uint32_t word : {1u, channels, rate, 16u, 0x40000000u /* 2.0 s */}) {
        PutLittle32(body, word);
    }
    body.push_back(0);  // tracker format
    if (ambisonic) {
        body.push_back(0);
    }
    body.resize(RoundUp4(body.size()), 0);
    PutLittle32(body, 0);  // sub-sound
    body.insert(body.end(), {1, 0, 0, 0});
    const std::size_t at = body.size();
    body.resize(at + BlockSize(source.size()), 0);
    PutBlock(body, at, source);
    PutLittleEndian64(body, offset);
    PutLittleEndian64(body, size);
    PutLittle32(body, 2);  // ADPCM
    return body;
}

std::string RealDataFolder() {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    if (folder == nullptr || !std::filesystem::is_directory(folder)) {
        return {};
    }
    return folder;
}

std::vector<RealAsset> RealAssetsOfType(std::uint32_t typeId, bool modern) {
    std::vector<RealAsset> found;
    const std::string folder = RealDataFolder();
    if (folder.empty()) {
        return found;
    }
    std::vector<std::filesystem::path> files;
    if (modern) {
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(folder + "/modern")) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    } else {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
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
            RealAsset asset{path.filename().string(),
                            Utf16ToUtf8(entry.name),
                            static_cast<std::uint32_t>(entry.pathId),
                            {}};
            asset.body = ReadAssetBody(doc, i).value_or(Bytes{});
            found.push_back(std::move(asset));
        }
        CloseAssetFile(doc);
    }
    return found;
}

}  // namespace kestrova::testing
