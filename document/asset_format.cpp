#include "document/asset_format.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "document/ordered_bytes.h"

namespace kestrova {

Outcome ReadBundleText(ByteReader& reader, std::string& text, const char16_t* what) {
    std::span<const std::uint8_t> rest = reader.View(reader.remaining());
    std::size_t limit = std::min<std::size_t>(rest.size(), kMaxFieldText + 1);
    const std::uint8_t* end = std::find(rest.data(), rest.data() + limit, std::uint8_t{0});
    std::size_t length = static_cast<std::size_t>(end - rest.data());
    if (length == limit) {
        if (limit == rest.size()) {
            return Outcome::Failure(std::u16string(u"The bundle's ") + what +
                                    u" runs past the end of the file.");
        }
        return Outcome::Failure(std::u16string(u"The bundle's ") + what +
                                u" is longer than 255 bytes.");
    }
    text.assign(reinterpret_cast<const char*>(rest.data()), length);
    reader.Skip(length + 1);
    return Outcome::Success();
}

namespace {

void AppendDecimal(std::u16string& out, std::uint32_t value) {
    char16_t digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        out.push_back(digits[--n]);
    }
}

Outcome TooShort(const char16_t* what) {
    return Outcome::Failure(std::u16string(u"The file ends inside the bundle header (") + what +
                            u").");
}

}  // namespace

void InitBundleHeader(BundleHeader& bundle, std::string_view signature) {
    bundle = BundleHeader{};
    bundle.signature.assign(signature.substr(0, kMaxFieldText));
}

Outcome ReadBundleHeaderFields(BundleHeader& bundle, ByteReader& reader) {
    if (!reader.ReadBigEndian32(bundle.bundleFormat)) {
        return TooShort(u"bundleFormat");
    }
    if (Outcome o = ReadBundleText(reader, bundle.playerVersion, u"player version text"); !o) {
        return o;
    }
    if (Outcome o = ReadBundleText(reader, bundle.engineRevision, u"engine revision text"); !o) {
        return o;
    }
    bundle.streamedBytesAt = reader.position();
    if (!reader.ReadBigEndian32(bundle.streamedBytes) ||
        !reader.ReadBigEndian32(bundle.headerSize) ||
        !reader.ReadBigEndian32(bundle.levelsToDownload) ||
        !reader.ReadBigEndian32(bundle.levelCount)) {
        return TooShort(u"sizes and level count");
    }
    // Each level is 8 bytes: check the count against what is left before sizing the array.
    if (bundle.levelCount > reader.remaining() / 8) {
        return Outcome::Failure(u"The bundle's level count (" + DecimalText(bundle.levelCount) +
                                u") does not fit in the file.");
    }
    bundle.levelsAt = reader.position();
    bundle.levels.resize(bundle.levelCount);
    for (BundleLevel& level : bundle.levels) {
        reader.ReadBigEndian32(level.first);
        reader.ReadBigEndian32(level.second);
    }
    if (bundle.bundleFormat >= 2) {
        bundle.completeSizeAt = reader.position();
        if (!reader.ReadBigEndian32(bundle.completeSize)) {
            return TooShort(u"completeSize");
        }
    }
    if (bundle.bundleFormat >= 3 && !reader.ReadBigEndian32(bundle.infoHeaderSize)) {
        return TooShort(u"infoHeaderSize");
    }
    return Outcome::Success();
}

Outcome ReadBundleHeader(BundleHeader& bundle, ByteReader& reader) {
    if (Outcome o = ReadBundleHeaderFields(bundle, reader); !o) {
        return o;
    }
    if (!reader.ReadByte(bundle.padByte)) {
        return TooShort(u"fileCount");
    }
    return ReadBundleDirectory(bundle, reader);
}

Outcome ReadBundleDirectory(BundleHeader& bundle, ByteReader& reader) {
    if (!reader.ReadBigEndian32(bundle.fileCount)) {
        return TooShort(u"fileCount");
    }
    if (bundle.fileCount == 0) {
        return Outcome::Failure(
            u"The bundle's directory is empty (fileCount 0): it holds no serialized file.");
    }
    // A directory entry takes at least 9 bytes (an empty name and two words).
    if (bundle.fileCount > reader.remaining() / 9) {
        return Outcome::Failure(u"The bundle's file count (" + DecimalText(bundle.fileCount) +
                                u") does not fit in the file.");
    }
    bundle.directory.resize(bundle.fileCount);
    bundle.directoryAt.resize(bundle.fileCount);
    for (std::uint32_t i = 0; i < bundle.fileCount; ++i) {
        BundleDirectoryEntry& entry = bundle.directory[i];
        if (Outcome o = ReadBundleText(reader, entry.name, u"directory entry name"); !o) {
            return o;
        }
        bundle.directoryAt[i] = reader.position();
        if (!reader.ReadBigEndian32(entry.offset) || !reader.ReadBigEndian32(entry.size)) {
            return TooShort(u"directory");
        }
    }
    bundle.headerEnd = reader.position();
    return Outcome::Success();
}

void FreeBundleHeader(BundleHeader& bundle) {
    bundle.levels.clear();
    bundle.levels.shrink_to_fit();
    bundle.levelCount = 0;
    bundle.directory.clear();
    bundle.directory.shrink_to_fit();
    bundle.directoryAt.clear();
    bundle.directoryAt.shrink_to_fit();
    bundle.fileCount = 0;
}

std::string ReadSignature(std::span<const std::uint8_t> bytes) {
    std::size_t limit = std::min<std::size_t>(bytes.size(), kMaxFieldText);
    const std::uint8_t* end = std::find(bytes.data(), bytes.data() + limit, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::size_t>(end - bytes.data()));
}

bool ReadFileHeader(AssetFileHeader& header, ByteReader& reader) {
    if (reader.remaining() < kFileHeaderSize) {
        return false;
    }
    reader.ReadBigEndian32(header.metadataSize);
    reader.ReadBigEndian32(header.fileSize);
    reader.ReadBigEndian32(header.formatVersion);
    reader.ReadBigEndian32(header.dataOffset);
    reader.ReadBigEndian32(header.endianWord);
    reader.ReadBytes(header.engineVersion);
    reader.ReadBigEndian32(header.platform);
    reader.ReadBigEndian32(header.typeTreeCount);
    reader.ReadBigEndian32(header.longIdsWord);
    reader.ReadLittleEndian32(header.assetCount);
    return true;
}

void WriteFileHeader(const AssetFileHeader& header, std::vector<std::uint8_t>& out) {
    PutBigEndian32(out, header.metadataSize);
    PutBigEndian32(out, header.fileSize);
    PutBigEndian32(out, header.formatVersion);
    PutBigEndian32(out, header.dataOffset);
    PutBigEndian32(out, header.endianWord);
    out.insert(out.end(), header.engineVersion.begin(), header.engineVersion.end());
    PutBigEndian32(out, header.platform);
    PutBigEndian32(out, header.typeTreeCount);
    PutBigEndian32(out, header.longIdsWord);
    PutLittleEndian32(out, header.assetCount);
}

void ReadAssetName(AssetEntry& entry, std::span<const std::uint8_t> data) {
    // The name is assigned once: a short name then stays inside the string itself, with no
    // block left over from an earlier value (a million assets load with one block less each).
    entry.prefixLength = 0;
    ByteReader reader(data.first(std::min<std::uint64_t>(data.size(), entry.size)));
    std::uint32_t n = 0;
    std::span<const std::uint8_t> text;
    if (reader.ReadLittleEndian32(n)) {
        // The 32-bit rounding of the stored length decides whether there is a name at all;
        // the prefix must then lie wholly inside the asset's own data, so that a size-0 asset
        // never takes the name of the asset that follows it.
        std::uint32_t r = (n + 3) & ~std::uint32_t{3};
        std::uint64_t prefix = 4 + RoundUp4(n);
        if (r != 0 && prefix <= entry.size && prefix <= data.size()) {
            text = reader.View(std::min<std::uint64_t>(r, kMaxFieldText));
            std::uint8_t c = text[0];
            bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (alnum) {
                entry.prefixLength = static_cast<std::uint32_t>(prefix);
            }
        }
    }
    if (entry.prefixLength == 0) {
        entry.name = kUnnamedAsset;
        return;
    }
    const std::uint8_t* end = std::find(text.data(), text.data() + text.size(), std::uint8_t{0});
    entry.name = Latin1ToUtf16(std::string_view(reinterpret_cast<const char*>(text.data()),
                                                static_cast<std::size_t>(end - text.data())));
}

bool ReadAssetRecord(AssetEntry& entry, std::uint64_t dataBase, ByteReader& reader) {
    if (reader.remaining() < kAssetRecordSize) {
        return false;
    }
    std::uint32_t pathId = 0;
    std::uint32_t offset = 0;
    reader.ReadLittleEndian32(pathId);
    reader.ReadLittleEndian32(offset);
    reader.ReadLittleEndian32(entry.size);
    reader.ReadLittleEndian32(entry.typeId);
    reader.ReadLittleEndian32(entry.classWord);
    entry.pathId = pathId;
    entry.offset = offset;
    entry.rawType = static_cast<std::int32_t>(entry.typeId);
    entry.classId = static_cast<std::int32_t>(entry.classWord & 0xFFFF);
    // The name is read only from bytes that belong to the asset and lie inside the span.
    std::uint64_t start = dataBase + entry.offset;  // both below 2^33: no overflow
    std::uint64_t available = reader.Contains(start, 0) ? reader.size() - start : 0;
    std::uint64_t length = std::min<std::uint64_t>(available, entry.size);
    std::uint64_t back = reader.position();
    if (length > 0 && reader.Seek(start)) {
        ReadAssetName(entry, reader.View(length));
        reader.Seek(back);
    } else {
        entry.name = kUnnamedAsset;
        entry.prefixLength = 0;
    }
    return true;
}

void WriteAssetRecord(const AssetEntry& entry, std::vector<std::uint8_t>& out) {
    PutLittleEndian32(out, static_cast<std::uint32_t>(entry.pathId));
    PutLittleEndian32(out, static_cast<std::uint32_t>(entry.offset));
    PutLittleEndian32(out, entry.size);
    PutLittleEndian32(out, entry.typeId);
    PutLittleEndian32(out, entry.classWord);
}

void ReadNameField(AssetEntry& entry, std::span<const std::uint8_t> data, std::uint32_t field,
                   bool bigEndian) {
    entry.prefixLength = 0;
    ByteReader reader(data.first(std::min<std::uint64_t>(data.size(), entry.size)));
    OrderedReader in(reader, bigEndian);
    std::uint32_t n = 0;
    if (field == kNoNameField || !reader.Seek(field) || !in.Read(n) || n > reader.remaining()) {
        entry.name = kUnnamedAsset;
        return;
    }
    if (field == 0 && 4 + RoundUp4(n) <= entry.size) {
        entry.prefixLength = static_cast<std::uint32_t>(4 + RoundUp4(n));
    }
    // At most 255 characters are shown, which UTF-8 never spends more than 4 bytes each on.
    std::span<const std::uint8_t> text = reader.View(std::min<std::uint64_t>(n, 4 * kMaxFieldText));
    text = text.first(static_cast<std::size_t>(
        std::find(text.begin(), text.end(), std::uint8_t{0}) - text.begin()));
    std::u16string name =
        Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    if (name.size() > kMaxFieldText) {
        name.resize(kMaxFieldText);
    }
    entry.name = name.empty() ? std::u16string(kUnnamedAsset) : std::move(name);
}

std::vector<std::uint8_t> MakeNameField(std::u16string_view name, bool bigEndian) {
    const std::string bytes = Utf16ToUtf8(name.substr(0, kMaxFieldText));
    std::vector<std::uint8_t> field;
    PutOrdered(field, bytes.size(), 4, bigEndian);
    field.insert(field.end(), bytes.begin(), bytes.end());
    field.resize(4 + RoundUp4(bytes.size()), 0);
    return field;
}

void ReportLoadedAsset(const ProgressCallback& progress, std::u16string& text, std::uint32_t index,
                       std::uint32_t count, std::u16string_view name) {
    text.assign(u"Loaded: (");
    AppendDecimal(text, index);
    text.push_back(u'/');
    AppendDecimal(text, count);
    text.append(u") ");
    text.append(name);
    progress(text, static_cast<float>(index) / static_cast<float>(count));
}

std::vector<std::uint8_t> MakeNamePrefix(std::u16string_view name) {
    std::vector<std::uint8_t> prefix;
    if (name.empty()) {
        return prefix;
    }
    name = name.substr(0, kMaxFieldText);
    std::string bytes;
    Utf16ToLatin1(name, bytes);  // characters above U+00FF are stored as '?'
    PutLittleEndian32(prefix, static_cast<std::uint32_t>(bytes.size()));
    prefix.insert(prefix.end(), bytes.begin(), bytes.end());
    prefix.resize(4 + RoundUp4(bytes.size()), 0);
    return prefix;
}

}  // namespace kestrova
