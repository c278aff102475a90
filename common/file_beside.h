#pragma once
// A new file written beside its target and then renamed over it in one step, so that the target
// is either as it was or the whole new file, never a part of it. Save As, exports, mod files and
// installer programs are written this way.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "common/outcome.h"

namespace kestrova {

// The new file is made exclusively, under a name that no file has yet (an existing file is never
// taken over), and deleted unless it was committed.
class FileBeside {
public:
    FileBeside() = default;
    ~FileBeside() { Abandon(); }
    FileBeside(const FileBeside&) = delete;
    FileBeside& operator=(const FileBeside&) = delete;

    // Makes the new file beside `target` (abandoning one made before); false, with the reason in
    // error(), when it cannot be made.
    bool Create(const std::u16string& target);

    // The open file for positioned writes; -1 when there is none.
    int descriptor() const { return fd_; }
    // A C stream over the file for sequential writes, made on first use; null when there is no
    // file or the stream cannot be made.
    std::FILE* stream();

    // Closes the file and renames it over the target. Everything written must have reached the
    // file: an error the stream kept or the system reports on close counts as a failed write.
    // On any failure the new file is deleted, the target stays as it was and error() says why.
    bool Commit();
    // Closes and deletes the new file unless it was committed.
    void Abandon();

    // The new file's name while it exists, and the target's.
    const std::u16string& path() const { return path_; }
    const std::u16string& target() const { return target_; }
    // The reason of the first failure, in words ("No space left on device").
    const std::u16string& error() const { return error_; }

private:
    bool Fail();
    bool Close();

    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    std::u16string target_;
    std::u16string path_;
    std::u16string error_;
};

// Writes `bytes` to `target` through a file beside it; a failure says "Cannot write <target>:
// <reason>." and leaves the target as it was.
Outcome WriteFileBeside(const std::u16string& target, std::span<const std::uint8_t> bytes);

}  // namespace kestrova
