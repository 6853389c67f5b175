#include "HostPath.h"

#include <climits>
#include <cstring>

std::string HostPath::ToUtf8(const WString& text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

WString HostPath::Widen(const std::string& openName) {
    if (openName.empty() || openName.size() > static_cast<size_t>(INT_MAX)) return WString();
    const int bytes = static_cast<int>(openName.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, openName.data(), bytes, nullptr, 0);
    if (units <= 0) return WString();
    WString out(static_cast<size_t>(units), OLECHAR(0));
    MultiByteToWideChar(CP_UTF8, 0, openName.data(), bytes, out.data(), units);
    return out;
}

#ifdef _WIN32

bool HostPath::Exists(const WString& windowsPath, const std::string&) {
    return GetFileAttributesW(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WString HostPath::ForOpen(const WString& windowsPath) {
    return windowsPath;
}

std::string HostPath::ForOpenUtf8(const WString& windowsPath) {
    return ToUtf8(windowsPath);
}

#else

#include "comrt/sqlite/SqliteHostVfs.h"

std::string HostPath::ForOpenUtf8(const WString& windowsPath) {
    // Mapped paths may be far longer than SQLite's own file layer takes.
    SqliteHostVfs::Install();
    // Room for the path in UTF-8 and a drive link before it; a longer link
    // is rare and gets a second try. The first try stays small enough for
    // the allocator's fast path: it runs once for every call on a file.
    DWORD size = static_cast<DWORD>(windowsPath.size() * 3 + 256);
    for (;;) {
        std::string mapped(size, '\0');
        const BOOL ok = ComrtMapPathW(windowsPath.c_str(), mapped.data(), size);
        if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size < 0x40000000u) {
            size *= 2;
            continue;
        }
        mapped.resize(std::strlen(mapped.c_str()));
        // A failed mapping still names the missing drive link; opening that
        // name fails as the open of an unknown drive does on Windows. Only an
        // empty path maps to nothing and stays as it is.
        if (mapped.empty()) return ToUtf8(windowsPath);
        return mapped;
    }
}

bool HostPath::Exists(const WString&, const std::string& openName) {
    // The open name is the mapped host path: a drive without a link maps
    // under the missing link and an empty path stays empty, and neither
    // names anything, as GetFileAttributesW finds for them.
    return ComrtHostPathExists(openName.c_str()) != FALSE;
}

WString HostPath::ForOpen(const WString& windowsPath) {
    return Widen(ForOpenUtf8(windowsPath));
}

#endif
