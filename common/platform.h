#pragma once
// The small layer between the core and the operating system: files, folders and shared libraries.
// Paths are wide text in the core and are converted to the system's encoding here only.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::platform {

#ifdef _WIN32
// Windows takes wide paths as they are: its wide characters are UTF-16 code units. (Its narrow
// functions read the ANSI code page, which cannot spell most names, so there is no narrow form.)
inline const wchar_t* WidePath(const std::u16string& path) {
    return reinterpret_cast<const wchar_t*>(path.c_str());
}
#else
// The system's spelling of a wide path (UTF-8).
std::string NativePath(const std::u16string& path);
#endif

// Opens a file with a C stream mode ("rb", "wb", "rb+", ...). Returns null on failure.
std::FILE* OpenFile(const std::u16string& path, const char* mode);

// Creates a new file beside `target`, named `target` with a suffix that no file has yet
// (".partial", then ".partial1" and on), open for reading and writing, and sets `path` to its
// name. Returns its descriptor (the C runtime's on Windows), or -1 with `path` empty when no
// such file can be made. See FileBeside (common/file_beside.h), which is built on it.
int CreateFileBeside(const std::u16string& target, std::u16string& path);

// A C stream for writing over an open descriptor, which it takes over (fclose closes both).
// Null, with the descriptor still open, when the stream cannot be made.
std::FILE* WriteStream(int descriptor);

// Closes a descriptor; false when the system reports an error on close (a late write failure).
bool CloseDescriptor(int descriptor);

// The reason of the last failed system call, in words ("No space left on device").
std::u16string SystemErrorText();

// Copies a file, replacing the target. False when the source cannot be read or the target written.
bool CopyFile(const std::u16string& from, const std::u16string& to);

// Renames a file; fails when the target exists.
bool MoveFile(const std::u16string& from, const std::u16string& to);

// Renames a file over the target in one step (the target is replaced, never lost half-way).
bool ReplaceFile(const std::u16string& from, const std::u16string& to);

bool DeleteFile(const std::u16string& path);

// Creates one folder; false when it exists already or cannot be made.
bool CreateDirectory(const std::u16string& path);

// Removes a folder only when it is empty.
bool RemoveDirectory(const std::u16string& path);

bool FileExists(const std::u16string& path);

// The full path of an existing file or folder with every link resolved, so that two paths to
// the same folder compare equal; empty when it cannot be resolved.
std::u16string ResolvedPath(const std::u16string& path);

// The size of a file in bytes, or nothing when it cannot be examined.
std::optional<unsigned long long> FileSize(const std::u16string& path);

// The bytes this user may still write on the volume that holds `folder`, or nothing when it
// cannot be examined.
std::optional<unsigned long long> FreeSpace(const std::u16string& folder);

struct DirectoryEntry {
    std::u16string name;
    bool isFolder = false;
};

// The entries of a folder without "." and "..", in the order the system returns them; nothing when
// the folder does not exist or cannot be read.
std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::u16string& folder);

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char16_t kSeparator = u'\\';
#else
inline constexpr char16_t kSeparator = u'/';
#endif

// `folder` and `name` with one separator between them; `name` alone for an empty folder.
inline std::u16string JoinPath(const std::u16string& folder, std::u16string_view name) {
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'/' && path.back() != u'\\') {
        path += kSeparator;
    }
    return path.append(name);
}

// Shared libraries. The handle is opaque; a null handle means the library did not load.
using LibraryHandle = void*;
LibraryHandle LoadLibrary(const std::u16string& path);
void* FindSymbol(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);

// The full path of the library or program file that holds `address`; empty when unknown.
std::u16string ModulePath(const void* address);

}  // namespace kestrova::platform
