#include "FileApi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <comrt/comrt.h>

#include "PathMap.h"
#include "Utf.h"

namespace {
constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kErrorFilenameTooLong = 206;
constexpr DWORD kErrorDirectory = 267;

// The folder that holds `host` ("." for a bare name).
std::string ParentOf(const std::string& host) {
    std::string path = host;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

bool FileApi::MapOrFail(LPCWSTR path, std::string& host) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const DWORD error = PathMap::Map(path, host);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

DWORD FileApi::ErrorFromErrno(int error, const std::string& host) {
    switch (error) {
    case ENOENT: {
        // Windows tells a missing last level from a missing folder above it.
        struct stat info {};
        const std::string parent = ParentOf(host);
        return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                          : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case ENAMETOOLONG:
        return kErrorFilenameTooLong;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL FileApi::Fail(const std::string& host) {
    SetLastError(ErrorFromErrno(errno, host));
    return FALSE;
}

DWORD FileApi::GetAttributes(LPCWSTR path) {
    std::string host;
    if (!MapOrFail(path, host)) return INVALID_FILE_ATTRIBUTES;
    struct stat info {};
    if (stat(host.c_str(), &info) != 0) {
        Fail(host);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (access(host.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

bool FileApi::HostPathExists(const char* host) {
    struct stat info {};
    return host != nullptr && stat(host, &info) == 0;
}

BOOL FileApi::MakeDirectory(LPCWSTR path) {
    std::string host;
    // A drive without a link fails here, before anything is created.
    if (!MapOrFail(path, host)) return FALSE;
    if (mkdir(host.c_str(), 0777) != 0) return Fail(host);
    return TRUE;
}

BOOL FileApi::RemoveFile(LPCWSTR path) {
    std::string host;
    if (!MapOrFail(path, host)) return FALSE;
    struct stat info {};
    if (lstat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(host.c_str()) != 0) return Fail(host);
    return TRUE;
}

BOOL FileApi::RemoveFolder(LPCWSTR path) {
    std::string host;
    if (!MapOrFail(path, host)) return FALSE;
    if (rmdir(host.c_str()) != 0) {
        if (errno == ENOTDIR) {
            SetLastError(kErrorDirectory);
            return FALSE;
        }
        return Fail(host);
    }
    return TRUE;
}

FILE* FileApi::Open(const OLECHAR* path, const OLECHAR* mode) {
    if (path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    std::string host;
    if (PathMap::Map(path, host) != ERROR_SUCCESS) {
        errno = ENOENT;
        return nullptr;
    }
    std::string narrow;
    for (const OLECHAR* c = mode; *c != 0 && *c != u','; ++c) {
        if (*c == u'r' || *c == u'w' || *c == u'a' || *c == u'+' || *c == u'b' || *c == u'x' || *c == u'e')
            narrow.push_back(static_cast<char>(*c));
    }
    return std::fopen(host.c_str(), narrow.c_str());
}

DWORD GetFileAttributesW(LPCWSTR path) { return FileApi::GetAttributes(path); }
BOOL ComrtHostPathExists(const char* hostPath) { return FileApi::HostPathExists(hostPath) ? TRUE : FALSE; }
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) { return FileApi::MakeDirectory(path); }
BOOL DeleteFileW(LPCWSTR path) { return FileApi::RemoveFile(path); }
BOOL RemoveDirectoryW(LPCWSTR path) { return FileApi::RemoveFolder(path); }
FILE* _wfopen(const OLECHAR* path, const OLECHAR* mode) { return FileApi::Open(path, mode); }
