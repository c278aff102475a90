#include "common/file_beside.h"

#include "common/platform.h"

namespace kestrova {

bool FileBeside::Create(const std::u16string& target) {
    Abandon();
    error_.clear();
    target_ = target;
    fd_ = platform::CreateFileBeside(target, path_);
    return fd_ >= 0 || Fail();
}

std::FILE* FileBeside::stream() {
    if (stream_ == nullptr && fd_ >= 0) {
        stream_ = platform::WriteStream(fd_);
        if (stream_ == nullptr) {
            Fail();
        }
    }
    return stream_;
}

bool FileBeside::Fail() {
    if (error_.empty()) {
        error_ = platform::SystemErrorText();
    }
    return false;
}

bool FileBeside::Close() {
    bool ok = true;
    if (stream_ != nullptr) {
        // A failed write may have been kept by the stream, or show only when its buffer goes out.
        ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
        ok = std::fclose(stream_) == 0 && ok;
    } else if (fd_ >= 0) {
        ok = platform::CloseDescriptor(fd_);
    }
    stream_ = nullptr;
    fd_ = -1;
    return ok;
}

bool FileBeside::Commit() {
    if (fd_ < 0) {
        return false;
    }
    if (!Close() || !platform::ReplaceFile(path_, target_)) {
        Fail();
        Abandon();
        return false;
    }
    path_.clear();
    return true;
}

void FileBeside::Abandon() {
    Close();
    if (!path_.empty()) {
        platform::DeleteFile(path_);
        path_.clear();
    }
}

Outcome WriteFileBeside(const std::u16string& target, std::span<const std::uint8_t> bytes) {
    FileBeside file;
    std::FILE* out = file.Create(target) ? file.stream() : nullptr;
    if (out != nullptr && !bytes.empty()) {
        // A short write leaves the stream's error indicator set, which Commit refuses.
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    }
    if (out == nullptr || !file.Commit()) {
        return Outcome::Failure(u"Cannot write " + target + u": " + file.error() + u".");
    }
    return Outcome::Success();
}

}  // namespace kestrova
