#include "document/asset_file.h"

#include <algorithm>
#include <utility>

#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "document/asset_format.h"
#include "document/range_writer.h"
#include "document/serialized_file.h"

namespace kestrova {

std::u16string AssetFile::WorkingCopyPath() const {
    return workingFolder + platform::kSeparator + u"temp";
}

std::u16string AssetFile::OriginalBundlePath() const {
    return workingFolder + platform::kSeparator + u"bundle";
}

void CompressedMember::MarkChanged(std::uint64_t start, std::uint64_t end) {
    if (start >= end) {
        return;
    }
    if (!changed()) {
        changedStart = start;
        changedEnd = end;
        return;
    }
    changedStart = std::min(changedStart, start);
    changedEnd = std::max(changedEnd, end);
}

void ResetAssetFile(AssetFile& doc) {
    std::u16string folder = std::move(doc.workingFolder);
    doc = AssetFile{};
    doc.workingFolder = std::move(folder);
}

void CloseAssetFile(AssetFile& doc) {
    doc.entries.clear();
    doc.entries.shrink_to_fit();
    FreeBundleHeader(doc.bundle);
    platform::DeleteFile(doc.WorkingCopyPath());
    // The kept bundle and what an interrupted load or rewrite may have left behind, so that the
    // folder can go.
    for (const char16_t* name :
         {u"temp2", u"temp.old", u"load", u"bundle", u"bundle.load", u"stream.load"}) {
        platform::DeleteFile(doc.workingFolder + platform::kSeparator + name);
    }
    platform::RemoveDirectory(doc.workingFolder);
    ResetAssetFile(doc);
}

namespace {

void Report(const ProgressCallback& progress, std::u16string_view text, float fraction) {
    if (progress) {
        progress(text, fraction);
    }
}

std::u16string Number(std::uint64_t value) {
    return DecimalText(static_cast<std::int64_t>(value));
}

// Takes the whole file as the serialized file.
void OpenPlainFile(AssetFile& doc, std::span<const std::uint8_t> bytes) {
    doc.workingLength = bytes.size();
    doc.innerStart = 0;
    doc.serializedLength = bytes.size();
}

// Finds the serialized file as the first file of a "UnityRaw" bundle, whose header and directory
// are checked against the file's length first.
Outcome OpenBundle(AssetFile& doc, std::span<const std::uint8_t> bytes) {
    doc.workingLength = bytes.size();
    doc.bundled = true;
    InitBundleHeader(doc.bundle, kBundleSignature);
    ByteReader reader(bytes);
    reader.Seek(kBundleSignature.size() + 1);
    if (reader.failed()) {
        return Outcome::Failure(u"The file ends inside the bundle header (signature).");
    }
    if (Outcome o = ReadBundleHeader(doc.bundle, reader); !o) {
        return o;
    }
    const BundleHeader& bundle = doc.bundle;
    for (std::uint32_t i = 0; i < bundle.fileCount; ++i) {
        const BundleDirectoryEntry& entry = bundle.directory[i];
        if (!reader.Contains(std::uint64_t{bundle.headerSize} + entry.offset, entry.size)) {
            return Outcome::Failure(u"The bundle's directory entry " + Number(i) + u" (offset " +
                                    Number(entry.offset) + u", size " + Number(entry.size) +
                                    u") lies outside the file.");
        }
    }
    doc.innerStart = std::uint64_t{bundle.headerSize} + bundle.directory[0].offset;
    doc.serializedLength = bundle.directory[0].size;
    if (doc.innerStart < bundle.headerEnd) {
        return Outcome::Failure(u"The bundle's serialized file (at byte " + Number(doc.innerStart) +
                                u") begins inside the bundle header.");
    }
    // The other files must lie wholly before or after the serialized file, which every change
    // rewrites; files after it move with its end.
    const std::uint64_t innerEnd = doc.innerStart + doc.serializedLength;
    for (std::uint32_t i = 1; i < bundle.fileCount; ++i) {
        std::uint64_t start = std::uint64_t{bundle.headerSize} + bundle.directory[i].offset;
        if (start < innerEnd && start + bundle.directory[i].size > doc.innerStart) {
            return Outcome::Failure(u"The bundle's directory entry " + Number(i) +
                                    u" overlaps its serialized file.");
        }
    }
    return Outcome::Success();
}

// Reads the header and the table of the serialized file and every asset's name, refusing a
// table or an asset that does not lie inside the serialized file.
Outcome ReadAssetTable(AssetFile& doc, std::span<const std::uint8_t> serialized,
                       const ProgressCallback& progress) {
    ByteReader reader(serialized);
    if (!ReadFileHeader(doc.header, reader)) {
        return Outcome::Failure(u"The file is too short for an asset file header (" +
                                Number(serialized.size()) + u" bytes).");
    }
    const AssetFileHeader& header = doc.header;
    std::uint64_t tableEnd = kFileHeaderSize + std::uint64_t{kAssetRecordSize} * header.assetCount;
    if (tableEnd > serialized.size()) {
        return Outcome::Failure(u"The asset table (" + Number(header.assetCount) +
                                u" entries) does not fit in the file.");
    }
    // The data base must lie inside the file: every asset's data, and any asset added later,
    // is placed from it.
    if (header.dataOffset > serialized.size()) {
        return Outcome::Failure(u"The data offset (" + Number(header.dataOffset) +
                                u") lies beyond the end of the file (" + Number(serialized.size()) +
                                u" bytes).");
    }
    doc.entries.resize(header.assetCount);
    std::u16string text;
    text.reserve(64);
    for (std::uint32_t i = 0; i < header.assetCount; ++i) {
        AssetEntry& entry = doc.entries[i];
        ReadAssetRecord(entry, header.dataOffset, reader);
        std::uint64_t start = std::uint64_t{header.dataOffset} + entry.offset;
        if (!reader.Contains(start, entry.size)) {
            return Outcome::Failure(u"The data of asset " + Number(i) + u" (offset " +
                                    Number(entry.offset) + u", size " + Number(entry.size) +
                                    u") lies outside the file.");
        }
        if (entry.size > 0 && start < tableEnd) {
            return Outcome::Failure(u"The data of asset " + Number(i) + u" (offset " +
                                    Number(entry.offset) +
                                    u") overlaps the file header or the asset table.");
        }
        if (progress) {
            ReportLoadedAsset(progress, text, i, header.assetCount, entry.name);
        }
    }
    return Outcome::Success();
}

// Reads the document from the file's bytes into `doc`, a fresh document. A file that begins like
// a bundle is read as one; if that fails it is read as a plain serialized file, whose first bytes
// (two big-endian sizes) may spell the signature too. Only when both readings fail is the file
// refused, with the reason of each.
Outcome ReadDocument(AssetFile& doc, std::span<const std::uint8_t> bytes,
                     const ProgressCallback& progress) {
    const AssetFile empty = doc;
    Outcome asBundle = Outcome::Failure({});
    if (ReadSignature(bytes) == kBundleSignature) {
        asBundle = OpenBundle(doc, bytes);
        if (asBundle) {
            asBundle = ReadSerializedFile(doc, bytes.subspan(doc.innerStart, doc.serializedLength),
                                          progress);
        }
        if (asBundle) {
            return asBundle;
        }
        doc = empty;
    }
    OpenPlainFile(doc, bytes);
    Outcome asPlain = ReadSerializedFile(doc, bytes, progress);
    if (asPlain) {
        return asPlain;
    }
    // The compressed bundles' header words would otherwise be named as a serialized file's.
    const std::string signature = ReadSignature(bytes);
    if (signature == "UnityFS" || signature == "UnityWeb") {
        return Outcome::Failure(u"The file is a \"" + Ascii(signature) +
                                u"\" bundle, which is opened through its serialized files: "
                                u"kestrova-cli bundle extract takes them out.");
    }
    if (asBundle.message.empty()) {
        return asPlain;
    }
    return Outcome::Failure(u"Read as a bundle: " + asBundle.message +
                            u" Read as a plain asset file: " + asPlain.message);
}

// Copies the chosen file to `staging` (written beside it first), a chunk at a time with its
// progress when the copy is long; false when it failed or `stop` ended it.
bool CopyToStaging(const std::u16string& path, const std::u16string& staging,
                   const ProgressCallback& progress, const std::stop_token& stop) {
    FileDescriptor in = FileDescriptor::OpenForReading(path);
    const std::optional<unsigned long long> length = platform::FileSize(path);
    if (!in.valid() || !length) {
        return false;
    }
    ByteProgress copied(progress, u"Copying", *length, stop);
    RangeWriter writer;
    return writer.CreateBeside(staging) && writer.Copy(in.get(), 0, 0, *length, &copied) &&
           writer.Commit(*length);
}

}  // namespace

Outcome ReadSerializedFile(AssetFile& doc, std::span<const std::uint8_t> serialized,
                           const ProgressCallback& progress) {
    if (IsExact44ByteForm(serialized)) {
        return ReadAssetTable(doc, serialized, progress);
    }
    return ReadFullMetadata(doc, serialized, progress);
}

Outcome LoadAssetFile(AssetFile& doc, const std::u16string& path, const ProgressCallback& progress,
                      const std::stop_token& stop) {
    Report(progress, u"Reading Header", 0.0f);
    if (!platform::CreateDirectory(doc.workingFolder) && !platform::FileExists(doc.workingFolder)) {
        return Outcome::Failure(u"Cannot create the working folder " + doc.workingFolder + u".");
    }
    // The chosen file is copied beside the working copy first and read from there; only a file
    // that reads completely replaces the document that is open.
    const std::u16string staging = doc.workingFolder + platform::kSeparator + u"load";
    if (!CopyToStaging(path, staging, progress, stop)) {
        platform::DeleteFile(staging);
        if (stop.stop_requested()) {
            return Cancelled();
        }
        return Outcome::Failure(u"Cannot read the file " + path + u".");
    }
    AssetFile fresh;
    fresh.workingFolder = doc.workingFolder;
    fresh.documentName = path;
    Outcome outcome;
    {
        MappedFile map;
        if (!map.Open(staging)) {
            outcome = Outcome::Failure(u"Cannot read the file " + path + u".");
        } else {
            // Names are read here and there across the data: map only the pages they lie on.
            map.AdviseRandom();
            outcome = ReadDocument(fresh, map.bytes(), progress);
        }
    }
    // The last moment a stop can keep the working copy that is open.
    if (outcome && stop.stop_requested()) {
        outcome = Cancelled();
    }
    if (outcome && !platform::ReplaceFile(staging, fresh.WorkingCopyPath())) {
        outcome =
            Outcome::Failure(u"Cannot make the working copy " + fresh.WorkingCopyPath() + u".");
    }
    if (!outcome) {
        platform::DeleteFile(staging);
        return outcome;
    }
    fresh.documentName = path.substr(FileNameStart(path));
    doc = std::move(fresh);
    Report(progress, u"Ready", 0.0f);
    return Outcome::Success();
}

}  // namespace kestrova
