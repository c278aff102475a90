#pragma once
// Builds asset files for tests: plain serialized files and "UnityRaw" bundles around them.
// Header only, so that every test folder can include it.
//
//   AssetFileBuilder b;
//   b.Add("Crosshair", 28, 1, {1, 2, 3});   // named asset: length, name, padding, body
//   b.Add("", 83, 2, {9, 9});                // unnamed: the body is the whole data
//   std::vector<std::uint8_t> bytes = b.Build();
//   WriteBytes(folder.File("x.assets"), WrapInBundle(bytes, 3, {{"extra", {7, 7}}}));

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/common/temp_folder.h"

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

// Words are appended as one block of four bytes: gcc 12 at -O3 takes byte-by-byte appends to an
// empty vector for writes out of bounds and warns.
inline void PutBig32(Bytes& out, std::uint32_t v) {
    const std::array<std::uint8_t, 4> word{static_cast<std::uint8_t>(v >> 24),
                                           static_cast<std::uint8_t>(v >> 16),
                                           static_cast<std::uint8_t>(v >> 8),
                                           static_cast<std::uint8_t>(v)};
    out.insert(out.end(), word.begin(), word.end());
}

inline void PutLittle32(Bytes& out, std::uint32_t v) {
    const std::array<std::uint8_t, 4> word{static_cast<std::uint8_t>(v),
                                           static_cast<std::uint8_t>(v >> 8),
                                           static_cast<std::uint8_t>(v >> 16),
                                           static_cast<std::uint8_t>(v >> 24)};
    out.insert(out.end(), word.begin(), word.end());
}

inline std::uint32_t GetBig32(const Bytes& in, std::size_t at) {
    return (std::uint32_t{in.at(at)} << 24) | (std::uint32_t{in.at(at + 1)} << 16) |
           (std::uint32_t{in.at(at + 2)} << 8) | std::uint32_t{in.at(at + 3)};
}

inline std::uint32_t GetLittle32(const Bytes& in, std::size_t at) {
    return std::uint32_t{in.at(at)} | (std::uint32_t{in.at(at + 1)} << 8) |
           (std::uint32_t{in.at(at + 2)} << 16) | (std::uint32_t{in.at(at + 3)} << 24);
}

// A name prefix as files store it: the length, the bytes, zeros up to a multiple of 4.
inline Bytes NamePrefix(std::string_view name) {
    Bytes out;
    PutLittle32(out, static_cast<std::uint32_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.resize((out.size() + 3) / 4 * 4, 0);
    return out;
}

struct BuiltAsset {
    Bytes data;  // the whole data, name prefix included
    std::uint32_t typeId = 0;
    std::uint32_t pathId = 0;
    std::uint32_t classWord = 0;
    // When set, the record's offset; otherwise assets follow one another in table order.
    std::int64_t fixedOffset = -1;
};

class AssetFileBuilder {
public:
    // A named asset (name prefix, then body), or an unnamed one when `name` is empty.
    AssetFileBuilder& Add(std::string_view name, std::uint32_t typeId, std::uint32_t pathId,
                          const Bytes& body) {
        Bytes data = name.empty() ? Bytes{} : NamePrefix(name);
        data.insert(data.end(), body.begin(), body.end());
        return AddRaw(data, typeId, pathId);
    }
    // An asset whose data is exactly `data`.
    AssetFileBuilder& AddRaw(const Bytes& data, std::uint32_t typeId, std::uint32_t pathId) {
        assets_.push_back({data, typeId, pathId, typeId, -1});
        return *this;
    }
    // An asset at a chosen offset (from the data base); its bytes are placed there.
    AssetFileBuilder& AddAt(std::uint32_t offset, const Bytes& data, std::uint32_t typeId,
                            std::uint32_t pathId) {
        assets_.push_back({data, typeId, pathId, typeId, offset});
        return *this;
    }
    // Data of consecutive assets starts at multiples of this (gaps are zeros); 1 packs them.
    AssetFileBuilder& Align(std::uint32_t alignment) {
        alignment_ = alignment;
        return *this;
    }
    AssetFileBuilder& DataOffset(std::uint32_t dataOffset) {
        dataOffset_ = dataOffset;
        return *this;
    }
    // Bytes between the table and the data base.
    AssetFileBuilder& Metadata(const Bytes& metadata) {
        metadata_ = metadata;
        return *this;
    }
    // Bytes after the last asset's data.
    AssetFileBuilder& Trailer(const Bytes& trailer) {
        trailer_ = trailer;
        return *this;
    }
    // The header words that the editor carries unchanged. The defaults are a real format-9
    // player file's (no types, no big ids): files with other words are not the exact 44-byte
    // form and take the full metadata reader.
    AssetFileBuilder& HeaderWords(std::uint32_t formatVersion, std::uint32_t platform,
                                  std::uint32_t typeTreeCount, std::uint32_t longIdsWord) {
        formatVersion_ = formatVersion;
        platform_ = platform;
        typeTreeCount_ = typeTreeCount;
        longIdsWord_ = longIdsWord;
        return *this;
    }
    // Overrides the header's assetCount (to build damaged files).
    AssetFileBuilder& AssetCount(std::uint32_t count) {
        countOverride_ = count;
        hasCountOverride_ = true;
        return *this;
    }

    std::uint32_t tableEnd() const { return 44 + 20 * static_cast<std::uint32_t>(assets_.size()); }
    std::uint32_t dataOffset() const {
        if (dataOffset_ != 0) {
            return dataOffset_;
        }
        std::uint32_t end = tableEnd() + static_cast<std::uint32_t>(metadata_.size());
        return (end + 15) / 16 * 16;
    }
    // The offsets the assets get, in table order.
    std::vector<std::uint32_t> Offsets() const {
        std::vector<std::uint32_t> offsets;
        std::uint32_t next = 0;
        for (const BuiltAsset& a : assets_) {
            if (a.fixedOffset >= 0) {
                offsets.push_back(static_cast<std::uint32_t>(a.fixedOffset));
                continue;
            }
            next = (next + alignment_ - 1) / alignment_ * alignment_;
            offsets.push_back(next);
            next += static_cast<std::uint32_t>(a.data.size());
        }
        return offsets;
    }

    Bytes Build() const {
        std::vector<std::uint32_t> offsets = Offsets();
        const std::uint32_t base = dataOffset();
        std::size_t end = std::max<std::size_t>(base, tableEnd() + metadata_.size());
        for (std::size_t i = 0; i < assets_.size(); ++i) {
            end = std::max<std::size_t>(end, base + offsets[i] + assets_[i].data.size());
        }
        Bytes out;
        PutBig32(out, tableEnd() - 20 + static_cast<std::uint32_t>(metadata_.size()));
        PutBig32(out, static_cast<std::uint32_t>(end + trailer_.size()));
        PutBig32(out, formatVersion_);
        PutBig32(out, base);
        PutBig32(out, 0);
        for (char c : std::string_view("3.5.5f3\0", 8)) {
            out.push_back(static_cast<std::uint8_t>(c));
        }
        PutBig32(out, platform_);
        PutBig32(out, typeTreeCount_);
        PutBig32(out, longIdsWord_);
        PutLittle32(
            out, hasCountOverride_ ? countOverride_ : static_cast<std::uint32_t>(assets_.size()));
        for (std::size_t i = 0; i < assets_.size(); ++i) {
            PutLittle32(out, assets_[i].pathId);
            PutLittle32(out, offsets[i]);
            PutLittle32(out, static_cast<std::uint32_t>(assets_[i].data.size()));
            PutLittle32(out, assets_[i].typeId);
            PutLittle32(out, assets_[i].classWord);
        }
        out.insert(out.end(), metadata_.begin(), metadata_.end());
        out.resize(end, 0);
        for (std::size_t i = 0; i < assets_.size(); ++i) {
            std::copy(assets_[i].data.begin(), assets_[i].data.end(),
                      out.begin() + base + offsets[i]);
        }
        out.insert(out.end(), trailer_.begin(), trailer_.end());
        return out;
    }

private:
    std::vector<BuiltAsset> assets_;
    std::uint32_t alignment_ = 8;
    std::uint32_t dataOffset_ = 0;
    Bytes metadata_ = {2, 0, 0, 0, 'm', 'e', 't', 'a', 0};
    Bytes trailer_;
    std::uint32_t formatVersion_ = 9;
    std::uint32_t platform_ = 0x05000000;
    std::uint32_t typeTreeCount_ = 0;
    std::uint32_t longIdsWord_ = 0;
    std::uint32_t countOverride_ = 0;
    bool hasCountOverride_ = false;
};

struct BundleFile {
    std::string name;
    Bytes bytes;
};

// Layout of a bundle built by WrapInBundle, for checks.
struct BundleLayout {
    std::uint32_t headerSize = 0;
    std::size_t innerStart = 0;
};

// Wraps a serialized file in an uncompressed "UnityRaw" bundle: the serialized file is the first
// directory entry, `extra` files follow it. streamedBytes, completeSize and the level's second
// word hold the total length, the level's first word the total less headerSize.
inline Bytes WrapInBundle(const Bytes& serialized, std::uint32_t bundleFormat,
                          const std::vector<BundleFile>& extra = {},
                          BundleLayout* layout = nullptr) {
    std::vector<BundleFile> files;
    files.push_back({"CAB-serialized", serialized});
    files.insert(files.end(), extra.begin(), extra.end());
    auto text = [](Bytes& out, std::string_view s) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    };
    // The header is built twice: once to learn its length, once with the final numbers.
    auto build = [&](std::uint32_t headerSize, std::uint32_t total, std::size_t* fields) {
        Bytes out;
        text(out, "UnityRaw");
        PutBig32(out, bundleFormat);
        text(out, "3.x.x");
        text(out, "3.5.5f3");
        PutBig32(out, total);       // streamedBytes
        PutBig32(out, headerSize);  // headerSize
        PutBig32(out, 1);           // levelsToDownload
        PutBig32(out, 1);           // levelCount
        PutBig32(out, total - headerSize);
        PutBig32(out, total);
        if (bundleFormat >= 2) {
            PutBig32(out, total);  // completeSize
        }
        if (bundleFormat >= 3) {
            PutBig32(out, 0x3C);  // infoHeaderSize
        }
        out.push_back(0);  // pad byte
        PutBig32(out, static_cast<std::uint32_t>(files.size()));
        std::uint32_t offset = 0;
        for (const BundleFile& f : files) {
            text(out, f.name);
            PutBig32(out, offset);
            PutBig32(out, static_cast<std::uint32_t>(f.bytes.size()));
            offset += static_cast<std::uint32_t>((f.bytes.size() + 3) / 4 * 4);
        }
        *fields = out.size();
        return out;
    };
    std::size_t headerLength = 0;
    build(0, 0, &headerLength);
    std::uint32_t headerSize = static_cast<std::uint32_t>((headerLength + 15) / 16 * 16);
    std::size_t total = headerSize;
    for (const BundleFile& f : files) {
        total += (f.bytes.size() + 3) / 4 * 4;
    }
    Bytes out = build(headerSize, static_cast<std::uint32_t>(total), &headerLength);
    out.resize(headerSize, 0);
    for (const BundleFile& f : files) {
        out.insert(out.end(), f.bytes.begin(), f.bytes.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    if (layout != nullptr) {
        layout->headerSize = headerSize;
        layout->innerStart = headerSize;
    }
    return out;
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kestrova::testing
