#pragma once
// Bundles built apart from the writer under test, straight from the published layout: "UnityFS"
// of any format, flags and block compressions, compressed with liblz4 and liblzma directly (LZMA
// through the "LZMA-alone" encoder, whose streams end with an end marker as some writers' do),
// and small "UnityWeb" bundles.

#include <lz4.h>
#include <lz4hc.h>
#include <lzma.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

inline void PutBig64(Bytes& out, std::uint64_t v) {
    PutBig32(out, static_cast<std::uint32_t>(v >> 32));
    PutBig32(out, static_cast<std::uint32_t>(v));
}

inline void PutText(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// 0 stored, 1 LZMA (5 property bytes and the stream), 2 LZ4, 3 LZ4HC.
inline Bytes Compress(std::uint32_t code, const Bytes& in) {
    if (code == 2 || code == 3) {
        Bytes out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(in.size()))));
        const char* from = reinterpret_cast<const char*>(in.data());
        char* to = reinterpret_cast<char*>(out.data());
        const int n = code == 2 ? LZ4_compress_default(from, to, static_cast<int>(in.size()),
                                                       static_cast<int>(out.size()))
                                : LZ4_compress_HC(from, to, static_cast<int>(in.size()),
                                                  static_cast<int>(out.size()), 9);
        out.resize(static_cast<std::size_t>(n));
        return out;
    }
    if (code == 1) {
        lzma_stream z = LZMA_STREAM_INIT;
        lzma_options_lzma options{};
        lzma_lzma_preset(&options, 1);
        EXPECT_EQ(lzma_alone_encoder(&z, &options), LZMA_OK);
        Bytes out(in.size() + in.size() / 2 + 1024);
        z.next_in = in.data();
        z.avail_in = in.size();
        z.next_out = out.data();
        z.avail_out = out.size();
        EXPECT_EQ(lzma_code(&z, LZMA_FINISH), LZMA_STREAM_END);
        out.resize(out.size() - z.avail_out);
        lzma_end(&z);
        out.erase(out.begin() + 5, out.begin() + 13);  // the size field of the alone header
        return out;
    }
    return in;
}

// Data that compresses as asset data does: names, counters, floats and stretches of noise.
inline Bytes AssetLikeData(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        const std::string name = "m_Asset_" + std::to_string(random() % 97);
        out.insert(out.end(), name.begin(), name.end());
        for (int i = 0; i < 24; ++i) {
            out.push_back(static_cast<std::uint8_t>(random() % 5 == 0 ? random() : i));
        }
    }
    out.resize(n);
    return out;
}

struct FsBlock {
    std::uint32_t uncompressed = 0;
    std::uint16_t flags = 0;
    Bytes bytes;
};

struct FsNode {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t flags = 4;
    std::string path;
};

struct FsShape {
    std::uint32_t format = 7;
    std::uint32_t infoCompression = 3;
    bool infoAtEnd = false;
    bool pad = false;
    bool aligned = true;
    std::vector<std::uint32_t> blockCompressions = {3};  // the stream is split evenly
    std::vector<FsNode> nodes;                           // one node of the whole stream if empty
    // Changes the records after the blocks were compressed (damaged bundles).
    std::function<void(std::vector<FsBlock>&, std::vector<FsNode>&)> tweak;
};

inline Bytes BuildUnityFs(const FsShape& shape, const Bytes& stream) {
    std::vector<FsBlock> blocks;
    const std::size_t count = shape.blockCompressions.size();
    for (std::size_t i = 0, at = 0; i < count; ++i) {
        const std::size_t size = i + 1 == count ? stream.size() - at : stream.size() / count;
        const Bytes piece(stream.begin() + static_cast<std::ptrdiff_t>(at),
                          stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        const std::uint32_t code = shape.blockCompressions[i];
        blocks.push_back({static_cast<std::uint32_t>(size),
                          static_cast<std::uint16_t>(code | (code <= 1 ? 0x40 : 0)),
                          Compress(code, piece)});
        at += size;
    }
    std::vector<FsNode> nodes = shape.nodes;
    if (nodes.empty()) {
        nodes.push_back({0, stream.size(), 4, "CAB-generated"});
    }
    if (shape.tweak) {
        shape.tweak(blocks, nodes);
    }
    Bytes info(16, 0x11);
    PutBig32(info, static_cast<std::uint32_t>(blocks.size()));
    Bytes data;
    for (const FsBlock& b : blocks) {
        PutBig32(info, b.uncompressed);
        PutBig32(info, static_cast<std::uint32_t>(b.bytes.size()));
        info.push_back(static_cast<std::uint8_t>(b.flags >> 8));
        info.push_back(static_cast<std::uint8_t>(b.flags));
        data.insert(data.end(), b.bytes.begin(), b.bytes.end());
    }
    PutBig32(info, static_cast<std::uint32_t>(nodes.size()));
    for (const FsNode& n : nodes) {
        PutBig64(info, n.offset);
        PutBig64(info, n.size);
        PutBig32(info, n.flags);
        PutText(info, n.path);
    }
    const Bytes packed = Compress(shape.infoCompression, info);
    Bytes out;
    auto align = [&](bool yes) {
        if (yes) {
            out.resize((out.size() + 15) / 16 * 16, 0);
        }
    };
    PutText(out, "UnityFS");
    PutBig32(out, shape.format);
    PutText(out, "5.x.x");
    PutText(out, "2021.3.1f1");
    const std::size_t totalAt = out.size();
    PutBig64(out, 0);
    PutBig32(out, static_cast<std::uint32_t>(packed.size()));
    PutBig32(out, static_cast<std::uint32_t>(info.size()));
    PutBig32(out,
             shape.infoCompression | 0x40 | (shape.infoAtEnd ? 0x80 : 0) | (shape.pad ? 0x200 : 0));
    align(shape.aligned);
    if (!shape.infoAtEnd) {
        out.insert(out.end(), packed.begin(), packed.end());
        align(shape.pad);
    }
    out.insert(out.end(), data.begin(), data.end());
    if (shape.infoAtEnd) {
        out.insert(out.end(), packed.begin(), packed.end());
    }
    const std::uint64_t total = out.size();
    for (int i = 0; i < 8; ++i) {
        out[totalAt + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(total >> (56 - 8 * i));
    }
    return out;
}

// A "UnityWeb" bundle of format 3: the directory of `files` and their bytes in one LZMA-alone
// stream. `stream` receives the decompressed data.
inline Bytes BuildUnityWeb(const std::vector<BundleFile>& files, Bytes* stream = nullptr) {
    Bytes directory;
    PutBig32(directory, static_cast<std::uint32_t>(files.size()));
    std::size_t directorySize = 4;
    for (const BundleFile& f : files) {
        directorySize += f.name.size() + 9;
    }
    Bytes data;
    for (const BundleFile& f : files) {
        PutText(directory, f.name);
        PutBig32(directory, static_cast<std::uint32_t>(directorySize + data.size()));
        PutBig32(directory, static_cast<std::uint32_t>(f.bytes.size()));
        data.insert(data.end(), f.bytes.begin(), f.bytes.end());
    }
    directory.insert(directory.end(), data.begin(), data.end());
    Bytes packed = Compress(1, directory);
    Bytes size;
    for (int i = 0; i < 8; ++i) {
        size.push_back(static_cast<std::uint8_t>(directory.size() >> (8 * i)));
    }
    packed.insert(packed.begin() + 5, size.begin(), size.end());
    Bytes out;
    PutText(out, "UnityWeb");
    PutBig32(out, 3);
    PutText(out, "5.x.x");
    PutText(out, "5.1.3p1");
    const std::uint32_t headerSize = static_cast<std::uint32_t>(out.size() + 8 * 4 + 1);
    const auto total = static_cast<std::uint32_t>(headerSize + packed.size());
    for (std::uint32_t word : {total, headerSize, 1u, 1u, static_cast<std::uint32_t>(packed.size()),
                               static_cast<std::uint32_t>(directory.size()), total,
                               static_cast<std::uint32_t>(directorySize)}) {
        PutBig32(out, word);
    }
    out.push_back(0);
    out.insert(out.end(), packed.begin(), packed.end());
    if (stream != nullptr) {
        *stream = directory;
    }
    return out;
}

}  // namespace kestrova::testing
