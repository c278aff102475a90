// Reading out of the working copy: an asset's body into memory or into a file, and the whole
// working copy into a file of the user's choice. Files are written beside their target and
// renamed over it when complete, so a failure never destroys an existing file.

#include <cstdio>
#include <new>

#include "common/file_beside.h"
#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "document/range_writer.h"

namespace kestrova {

namespace {

Outcome CannotWrite(const std::u16string& target, const RangeWriter& writer) {
    return Outcome::Failure(u"Cannot write " + target + u": " + writer.error() + u".");
}

Outcome OpenWorkingCopy(const AssetFile& doc, FileDescriptor& in) {
    in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
    if (!in.valid()) {
        return Outcome::Failure(u"Cannot read the working copy " + doc.WorkingCopyPath() + u": " +
                                SystemErrorText() + u".");
    }
    return Outcome::Success();
}

// Copies `length` bytes of the working copy from `from` into `target` (written beside it and
// renamed over it when complete), reporting `what` a chunk at a time. Without a length (the
// working copy's could not be read) the copy fails; a stop leaves `target` as it was.
Outcome CopyOutOfWorkingCopy(const AssetFile& doc, std::uint64_t from,
                             std::optional<std::uint64_t> length, const std::u16string& target,
                             std::u16string_view what, const ProgressCallback& progress,
                             const std::stop_token& stop) {
    FileDescriptor in;
    if (Outcome o = OpenWorkingCopy(doc, in); !o) {
        return o;
    }
    RangeWriter writer;
    ByteProgress copying(progress, what, length.value_or(0), stop);
    if (!length || !writer.CreateBeside(target)) {
        return CannotWrite(target, writer);
    }
    const bool copied = writer.Copy(in.get(), from, 0, *length, &copying);
    // Checked once more at the end: a stop that comes after the last chunk still keeps `target`.
    if (copying.stopped()) {
        return Cancelled();
    }
    if (!copied || !writer.Commit(*length)) {
        return CannotWrite(target, writer);
    }
    return Outcome::Success();
}

}  // namespace

Outcome SaveWorkingCopyAs(const AssetFile& doc, const std::u16string& target,
                          const ProgressCallback& progress, const std::stop_token& stop) {
    return CopyOutOfWorkingCopy(doc, 0, platform::FileSize(doc.WorkingCopyPath()), target,
                                u"Saving", progress, stop);
}

std::optional<std::vector<std::uint8_t>> ReadAssetBody(const AssetFile& doc, std::uint32_t index) {
    if (index >= doc.entries.size()) {
        return std::nullopt;
    }
    const AssetEntry& entry = doc.entries[index];
    FileDescriptor in = FileDescriptor::OpenForReading(doc.WorkingCopyPath());
    if (!in.valid()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body(entry.bodyLength());
    if (!ReadAt(in.get(), doc.DataBase() + entry.offset + entry.prefixLength, body)) {
        return std::nullopt;
    }
    return body;
}

Outcome ExportAssetBody(const AssetFile& doc, std::uint32_t index, const std::u16string& target,
                        const ProgressCallback& progress, const std::stop_token& stop) {
    if (index >= doc.entries.size()) {
        return Outcome::Failure(u"There is no asset " + DecimalText(index) + u".");
    }
    const AssetEntry& entry = doc.entries[index];
    return CopyOutOfWorkingCopy(doc, doc.DataBase() + entry.offset + entry.prefixLength,
                                entry.bodyLength(), target, u"Exporting", progress, stop);
}

Outcome WriteWholeFile(const std::u16string& target, std::span<const std::uint8_t> bytes) {
    return WriteFileBeside(target, bytes);
}

Outcome ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& bytes,
                      const ProgressCallback& progress, const std::stop_token& stop) {
    const auto cannotRead = [&] {
        return Outcome::Failure(u"Cannot read the file to import: " + path);
    };
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) {
        return cannotRead();
    }
    // Sized once from the file's length, so that a large file is not copied as the buffer
    // grows; a file that changes meanwhile is still read to its end.
    const std::uint64_t expected = platform::FileSize(path).value_or(0);
    ByteProgress read(progress, u"Reading", expected, stop);
    bytes.clear();
    bool ok = true;
    try {
        bytes.resize(expected);
        std::size_t length = 0;
        for (;;) {
            if (length == bytes.size()) {
                bytes.resize(length + (std::size_t{1} << 16));
            }
            const std::size_t piece =
                static_cast<std::size_t>(read.NextPiece(bytes.size() - length));
            const std::size_t n = std::fread(bytes.data() + length, 1, piece, file);
            length += n;
            if (n < piece) {
                ok = !std::ferror(file);
                break;
            }
            if (!read.Advance(n)) {
                break;
            }
        }
        bytes.resize(length);
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        bytes = {};
        return Outcome::Failure(u"Not enough memory to read the file to import: " + path);
    }
    std::fclose(file);
    if (read.stopped()) {
        bytes = {};
        return Cancelled();
    }
    return ok ? Outcome::Success() : cannotRead();
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::u16string& path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, {}, {})) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace kestrova
