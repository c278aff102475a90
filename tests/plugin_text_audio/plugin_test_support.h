#pragma once
// What the text and audio plug-in tests share: bodies and sound files built by hand, and the
// assets of one type in the real game files (found with the document library, which only the
// tests link; the plug-ins never do).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

inline Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A TextAsset or Shader body: the text as a padded block, then `rest`.
inline Bytes TextBodyOf(std::string_view text, const Bytes& rest = {}) {
    Bytes body;
    PutLittle32(body, static_cast<std::uint32_t>(text.size()));
    body.insert(body.end(), text.begin(), text.end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    body.insert(body.end(), rest.begin(), rest.end());
    return body;
}

// An AudioClip body: format 2, the sound type, flags 1 and 0, the stream as a padded block, then
// `rest`.
inline Bytes AudioBodyOf(std::uint32_t soundType, const Bytes& stream, const Bytes& rest = {}) {
    Bytes body;
    for (std::uint32_t word : {2u, soundType, 1u, 0u}) {
        PutLittle32(body, word);
    }
    PutLittle32(body, static_cast<std::uint32_t>(stream.size()));
    body.insert(body.end(), stream.begin(), stream.end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    body.insert(body.end(), rest.begin(), rest.end());
    return body;
}

// A PCM WAV file: a "fmt " chunk and a "data" chunk of `frames` frames of silence.
Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t frames);

struct RealAsset {
    std::string file;
    std::string name;
    std::uint32_t pathId = 0;
    Bytes body;  // the data without the name prefix, as the host hands it over
};

// The folder of the real game files, or empty when KESTROVA_REALDATA does not name one.
std::string RealDataFolder();
// Every asset of `typeId` in every real file that loads, in file-name and table order.
std::vector<RealAsset> RealAssetsOfType(std::uint32_t typeId);

}  // namespace kestrova::testing
