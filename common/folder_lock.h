#pragma once
// A lock on a folder for the life of a process, so that two programs never share what the folder
// holds. The system releases it when the process ends, however it ends, so a lock left by a
// killed process never blocks the next start.

#include <string>

namespace kestrova {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock on `folder` (through its file "lock"); false when another process holds it
    // or the folder cannot be used.
    bool Acquire(const std::u16string& folder);
    void Release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace kestrova
