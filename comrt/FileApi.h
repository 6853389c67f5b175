// The Win32 file functions of the runtime (GetFileAttributesW,
// CreateDirectoryW, DeleteFileW, RemoveDirectoryW, _wfopen) over the host file
// system. Every path goes through PathMap, so a drive without a link fails as
// a missing drive does on Windows.
// Thread-safety: stateless. Failure: the Win32 result (FALSE,
// INVALID_FILE_ATTRIBUTES, null) with the reason in GetLastError; _wfopen sets
// errno as fopen does.
#pragma once

#include <cstdio>
#include <string>

#include <comrt/wintypes.h>

class FileApi {
public:
    static DWORD GetAttributes(LPCWSTR path);
    // Whether `host` (already mapped) names a file or folder; one system call.
    static bool HostPathExists(const char* host);
    static BOOL MakeDirectory(LPCWSTR path);
    static BOOL RemoveFile(LPCWSTR path);
    static BOOL RemoveFolder(LPCWSTR path);
    // mode is the C library's ("rb", "w+", ...); Windows-only mode letters
    // and a ",ccs=" suffix are dropped.
    static FILE* Open(const OLECHAR* path, const OLECHAR* mode);

private:
    // Maps the path; on failure sets GetLastError and answers false.
    static bool MapOrFail(LPCWSTR path, std::string& host);
    // The Win32 code for errno `error` of an operation on `host`.
    static DWORD ErrorFromErrno(int error, const std::string& host);
    // Sets GetLastError from errno and answers FALSE.
    static BOOL Fail(const std::string& host);
};
