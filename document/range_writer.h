#pragma once
// Writes a new file from byte ranges: buffers written at a position, and ranges copied from
// another file by the kernel without passing through memory. Stretches that nothing writes
// read as zeros. The first failure is kept with its reason; the caller then abandons the file.

#include <cstdint>
#include <span>
#include <string>

#include "common/file_beside.h"
#include "common/platform.h"
#include "common/progress.h"

namespace kestrova {

using platform::SystemErrorText;

// An open file descriptor, closed at the end of its scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }

    static FileDescriptor OpenForReading(const std::u16string& path);
    // An existing file, for writing in place.
    static FileDescriptor OpenForWriting(const std::u16string& path);
    // Creates (or empties) a file for writing.
    static FileDescriptor Create(const std::u16string& path);
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; false when the system reports an error on close (a late write failure).
    bool Reset();

private:
    int fd_ = -1;
};

// Positioned reads and writes of a whole span; false on an error or a read past the end.
bool ReadAt(int fd, std::uint64_t position, std::span<std::uint8_t> bytes);
bool WriteAt(int fd, std::uint64_t position, std::span<const std::uint8_t> bytes);
bool SetFileLength(int fd, std::uint64_t length);
// Returns once the file's data and length are on the disk, not only in the system's cache.
bool SyncFile(int fd);
// Copies `count` bytes from `source` at `from` to `target` at `to`, by the kernel where it can;
// false when the source ends before the range does or a read or write fails.
bool CopyRange(int source, std::uint64_t from, int target, std::uint64_t to, std::uint64_t count);

class RangeWriter {
public:
    RangeWriter() = default;
    ~RangeWriter() { Abandon(); }
    RangeWriter(const RangeWriter&) = delete;
    RangeWriter& operator=(const RangeWriter&) = delete;

    // Creates (or empties) the file at `path`.
    bool Create(const std::u16string& path);
    // Creates a new file beside `target` (see FileBeside), to be committed over it.
    bool CreateBeside(const std::u16string& target);

    bool Write(std::uint64_t position, std::span<const std::uint8_t> bytes);
    // With `progress`, the range is copied a chunk at a time and each chunk is reported; a stop
    // requested through it ends the copy after a chunk with false and no error kept.
    bool Copy(int source, std::uint64_t from, std::uint64_t to, std::uint64_t count,
              ByteProgress* progress = nullptr);
    // Puts what was written on the disk before the file is finished, for files whose renaming
    // must not reach the disk before their data does.
    bool Flush();
    // For a file made by CreateBeside: sets the final length, closes the file and renames it
    // over its target in one step. On any failure the new file is deleted and the target stays
    // as it was.
    bool Commit(std::uint64_t length);
    // For a file made by Create whose target only this program uses: the target is renamed aside
    // and deleted after the new file took its name (moved back if that fails). Some file systems
    // flush a file's data at once when it is renamed over another, which costs as much as
    // writing it; two renames onto free names do not.
    bool FinishAsPrivate(std::uint64_t length, const std::u16string& target);
    // Closes and deletes the file unless it was finished.
    void Abandon();

    const std::u16string& path() const { return beside_.path().empty() ? path_ : beside_.path(); }
    // The reason of the first failure, in words ("No space left on device").
    const std::u16string& error() const { return error_; }

private:
    bool Fail();
    // The file being written: the one beside a target, or the one Create made.
    int Descriptor() const { return beside_.descriptor() >= 0 ? beside_.descriptor() : fd_.get(); }

    FileBeside beside_;
    FileDescriptor fd_;
    std::u16string path_;
    std::u16string error_;
    bool finished_ = false;
};

}  // namespace kestrova
