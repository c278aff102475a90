#pragma once
// What the text and audio plug-in tests share: bodies and sound files built by hand, and the
// assets of one type in the real game files (found with the document library, which only the
// tests link; the plug-ins never do).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/stream_host.h"
#include "kestrova_plugin.h"
#include "sdk/context_type_tree.h"
#include "sdk/type_tree.h"
#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

inline Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A length-prefixed block as bodies store it (the length, the bytes, zeros up to a multiple of
// 4) written at `at` into `out`, which is long enough; returns where the block ends. Bodies are
// built at their full size first: gcc 12 takes small appends to a fresh vector for overflows.
inline std::size_t PutBlock(Bytes& out, std::size_t at, std::string_view bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    for (int k = 0; k < 4; ++k) {
        out[at + k] = static_cast<std::uint8_t>(length >> (8 * k));
    }
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 4));
    return at + 4 + (bytes.size() + 3) / 4 * 4;
}

inline std::size_t BlockSize(std::size_t length) {
    return 4 + (length + 3) / 4 * 4;
}

// A TextAsset or Shader body: the text as a block, then `rest`.
inline Bytes TextBodyOf(std::string_view text, const Bytes& rest = {}) {
    Bytes body(BlockSize(text.size()) + rest.size(), 0);
    const std::size_t end = PutBlock(body, 0, text);
    std::copy(rest.begin(), rest.end(), body.begin() + static_cast<std::ptrdiff_t>(end));
    return body;
}

// An AudioClip body: format 2, the sound type, flags 1 and 0, the stream as a block, then `rest`.
inline Bytes AudioBodyOf(std::uint32_t soundType, const Bytes& stream, const Bytes& rest = {}) {
    Bytes body(16 + BlockSize(stream.size()) + rest.size(), 0);
    body[0] = 2;
    for (int k = 0; k < 4; ++k) {
        body[4 + k] = static_cast<std::uint8_t>(soundType >> (8 * k));
    }
    body[8] = 1;
    const std::string_view bytes(reinterpret_cast<const char*>(stream.data()), stream.size());
    const std::size_t end = PutBlock(body, 16, bytes);
    std::copy(rest.begin(), rest.end(), body.begin() + static_cast<std::ptrdiff_t>(end));
    return body;
}

// A PCM WAV file: a "fmt " chunk and a "data" chunk of `frames` frames of silence.
Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t frames);

// A plug-in context as a host fills it, with the storage it points into: the engine version,
// the name prefix of `name`, a type tree or none, and `host`'s files and reports.
struct TestContext {
    TestContext(std::string engine, std::string_view name, const TypeTree* tree,
                fuzz::StreamHost& host);
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;

    std::string engineVersion;
    Bytes prefix;
    FlatTypeTree flat;
    KestrovaTypeTree view{};
    KestrovaPluginContext context{};
};

// A later engine's AudioClip body after its name, field by field (load type 1, 16 bits, 2.0 s,
// sub-sound 0, ADPCM); `ambisonic` adds the flag of 2017.1.
Bytes LaterClipBody(bool ambisonic, std::uint32_t channels, std::uint32_t rate,
                    std::string_view source, std::uint64_t offset, std::uint64_t size);

struct RealAsset {
    std::string file;
    std::string name;
    std::uint32_t pathId = 0;
    Bytes body;  // the data without the name prefix, as the host hands it over
};

// The folder of the real game files, or empty when KESTROVA_REALDATA does not name one.
std::string RealDataFolder();
// Every asset of `typeId` in every real file that loads, in file-name and table order: the
// files beside each other, or (with `modern`) the later forms' samples in modern/ and its
// sub-folders.
std::vector<RealAsset> RealAssetsOfType(std::uint32_t typeId, bool modern = false);

}  // namespace kestrova::testing
