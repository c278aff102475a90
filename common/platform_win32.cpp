// The platform layer on Windows: the same meanings and results as on Linux, through the wide
// Win32 file and library functions.

#include <fcntl.h>
#include <io.h>

#include "common/platform.h"
#include "common/text.h"
#include "common/win32_api.h"

namespace kestrova::platform {

std::FILE* OpenFile(const std::u16string& path, const char* mode) {
    std::wstring wideMode;
    for (const char* c = mode; *c != '\0'; ++c) {
        wideMode.push_back(static_cast<wchar_t>(*c));
    }
    return ::_wfopen(WidePath(path), wideMode.c_str());
}

int CreateFileBeside(const std::u16string& target, std::u16string& path) {
    for (int i = 0; i < 1000; ++i) {
        path = target + u".partial" + (i == 0 ? u"" : DecimalText(i));
        // Shared as the document's files are, so that the file can be renamed while it is open.
        HANDLE handle = ::CreateFileW(WidePath(path), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            const int fd =
                ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
            if (fd >= 0) {
                return fd;
            }
            ::CloseHandle(handle);
            ::DeleteFileW(WidePath(path));
            ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
            break;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    path.clear();
    return -1;
}

std::FILE* WriteStream(int descriptor) {
    return ::_fdopen(descriptor, "wb");
}

bool CloseDescriptor(int descriptor) {
    return ::_close(descriptor) == 0;
}

std::u16string SystemErrorText() {
    DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message;
    if (n > 0 && text != nullptr) {
        message.assign(reinterpret_cast<const char16_t*>(text), n);
    }
    if (text != nullptr) {
        ::LocalFree(text);
    }
    // The system's texts end with a full stop and a line break; callers add their own.
    while (!message.empty() &&
           (message.back() == u'\n' || message.back() == u'\r' || message.back() == u'.')) {
        message.pop_back();
    }
    if (message.empty()) {
        message = u"system error " + DecimalText(code);
    }
    return message;
}

namespace {

// Linux lets a file be replaced or deleted whatever its own permissions say, and makes copies
// writable; Windows refuses both for a read-only file. The attribute is dropped where the Linux
// layer would not have looked at the permissions.
bool ClearReadOnly(const std::u16string& path) {
    DWORD attributes = ::GetFileAttributesW(WidePath(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           ::SetFileAttributesW(WidePath(path), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

}  // namespace

bool CopyFile(const std::u16string& from, const std::u16string& to) {
    DWORD attributes = ::GetFileAttributesW(WidePath(from));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    if (::CopyFileW(WidePath(from), WidePath(to), FALSE) == 0) {
        return false;
    }
    ClearReadOnly(to);
    return true;
}

bool MoveFile(const std::u16string& from, const std::u16string& to) {
    return ::MoveFileExW(WidePath(from), WidePath(to), 0) != 0;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to) {
    auto replace = [&] {
        return ::MoveFileExW(WidePath(from), WidePath(to), MOVEFILE_REPLACE_EXISTING) != 0;
    };
    return replace() || (::GetLastError() == ERROR_ACCESS_DENIED && ClearReadOnly(to) && replace());
}

bool DeleteFile(const std::u16string& path) {
    auto remove = [&] { return ::DeleteFileW(WidePath(path)) != 0; };
    return remove() || (::GetLastError() == ERROR_ACCESS_DENIED && ClearReadOnly(path) && remove());
}

bool CreateDirectory(const std::u16string& path) {
    return ::CreateDirectoryW(WidePath(path), nullptr) != 0;
}

bool RemoveDirectory(const std::u16string& path) {
    return ::RemoveDirectoryW(WidePath(path)) != 0;
}

bool FileExists(const std::u16string& path) {
    return ::GetFileAttributesW(WidePath(path)) != INVALID_FILE_ATTRIBUTES;
}

std::u16string ResolvedPath(const std::u16string& path) {
    HANDLE file =
        ::CreateFileW(WidePath(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::u16string resolved(MAX_PATH, u'\0');
    for (;;) {
        DWORD n = ::GetFinalPathNameByHandleW(file, reinterpret_cast<wchar_t*>(resolved.data()),
                                              static_cast<DWORD>(resolved.size()), 0);
        if (n < resolved.size()) {
            resolved.resize(n);  // empty when it failed
            break;
        }
        resolved.resize(n);
    }
    ::CloseHandle(file);
    return resolved;
}

std::optional<unsigned long long> FileSize(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(WidePath(path), GetFileExInfoStandard, &data) == 0) {
        return std::nullopt;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<unsigned long long> FreeSpace(const std::u16string& folder) {
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(WidePath(folder), &available, nullptr, nullptr) == 0) {
        return std::nullopt;
    }
    return available.QuadPart;
}

std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::u16string& folder) {
    std::u16string pattern = folder;
    if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') {
        pattern += kSeparator;
    }
    pattern += u'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(WidePath(pattern), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        // An empty folder still lists "." and ".."; failing here means no such folder.
        return std::nullopt;
    }
    std::vector<DirectoryEntry> entries;
    do {
        std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
        if (name == u"." || name == u"..") {
            continue;
        }
        entries.push_back(
            {std::move(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
    return entries;
}

LibraryHandle LoadLibrary(const std::u16string& path) {
    return reinterpret_cast<LibraryHandle>(::LoadLibraryW(WidePath(path)));
}

void* FindSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(library));
    }
}

std::u16string ModulePath(const void* address) {
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module) == 0) {
        return {};
    }
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(path.data()),
                                       static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace kestrova::platform
