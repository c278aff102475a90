// The writer of new files from byte ranges; the system calls it rests on are in
// range_writer_posix.cpp and range_writer_win32.cpp.

#include "document/range_writer.h"

#include "common/platform.h"

namespace kestrova {

bool FileDescriptor::Reset() {
    bool ok = true;
    if (fd_ >= 0) {
        ok = platform::CloseDescriptor(fd_);
        fd_ = -1;
    }
    return ok;
}

bool RangeWriter::Fail() {
    if (error_.empty()) {
        error_ = SystemErrorText();
    }
    return false;
}

bool RangeWriter::Create(const std::u16string& path) {
    Abandon();
    path_ = path;
    finished_ = false;
    error_.clear();
    fd_ = FileDescriptor::Create(path);
    return fd_.valid() || Fail();
}

bool RangeWriter::CreateBeside(const std::u16string& target) {
    Abandon();
    finished_ = false;
    error_.clear();
    if (!beside_.Create(target)) {
        error_ = beside_.error();
        return false;
    }
    return true;
}

bool RangeWriter::Write(std::uint64_t position, std::span<const std::uint8_t> bytes) {
    if (Descriptor() < 0) {
        return false;
    }
    return WriteAt(Descriptor(), position, bytes) || Fail();
}

bool RangeWriter::Copy(int source, std::uint64_t from, std::uint64_t to, std::uint64_t count,
                       ByteProgress* progress) {
    if (Descriptor() < 0) {
        return false;
    }
    if (progress == nullptr || !progress->stepped()) {
        return CopyRange(source, from, Descriptor(), to, count) || Fail();
    }
    while (count > 0) {
        const std::uint64_t piece = progress->NextPiece(count);
        if (!CopyRange(source, from, Descriptor(), to, piece)) {
            return Fail();
        }
        if (!progress->Advance(piece)) {
            return false;
        }
        from += piece;
        to += piece;
        count -= piece;
    }
    return true;
}

bool RangeWriter::Flush() {
    if (Descriptor() < 0) {
        return false;
    }
    return SyncFile(Descriptor()) || Fail();
}

bool RangeWriter::Commit(std::uint64_t length) {
    if (beside_.descriptor() < 0) {
        return false;
    }
    if (!SetFileLength(beside_.descriptor(), length)) {
        return Fail();
    }
    if (!beside_.Commit()) {
        if (error_.empty()) {
            error_ = beside_.error();
        }
        return false;
    }
    finished_ = true;
    return true;
}

bool RangeWriter::FinishAsPrivate(std::uint64_t length, const std::u16string& target) {
    if (!fd_.valid()) {
        // Only a file made by Create can be finished this way; one made beside its target is
        // committed.
        if (error_.empty()) {
            error_ = u"The working copy was not written through this writer.";
        }
        return false;
    }
    if (!SetFileLength(fd_.get(), length) || !fd_.Reset()) {
        return Fail();
    }
    const std::u16string aside = target + u".old";
    platform::DeleteFile(aside);
    bool hadTarget = platform::FileExists(target);
    if (hadTarget && !platform::MoveFile(target, aside)) {
        return Fail();
    }
    if (!platform::MoveFile(path_, target)) {
        Fail();
        if (hadTarget) {
            platform::MoveFile(aside, target);
        }
        return false;
    }
    finished_ = true;
    if (hadTarget) {
        platform::DeleteFile(aside);
    }
    return true;
}

void RangeWriter::Abandon() {
    beside_.Abandon();
    fd_.Reset();
    if (!finished_ && !path_.empty()) {
        platform::DeleteFile(path_);
    }
    path_.clear();
}

}  // namespace kestrova
