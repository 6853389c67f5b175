#include "PathMap.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include <comrt/comrt.h>

#include "Prefix.h"
#include "Utf.h"

namespace {
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
}  // namespace

std::string PathMap::MapDrivePath(const std::string& link, std::u16string_view rest) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !IsSeparator(rest[i])) continue;
        std::u16string_view part = rest.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string host = link;
    for (std::u16string_view part : parts) {
        host.push_back('/');
        host += Utf::ToUtf8(part);
    }
    // Keep a trailing separator: "C:\file.txt\" must not name the file.
    if (parts.empty() || IsSeparator(rest.back())) host += "/";
    return host;
}

std::string PathMap::MapRelative(std::u16string_view path) {
    std::u16string converted;
    for (char16_t c : path) {
        if (IsSeparator(c)) {
            if (!converted.empty() && converted.back() == u'/') continue;
            converted.push_back(u'/');
        } else {
            converted.push_back(c);
        }
    }
    return Utf::ToUtf8(converted);
}

DWORD PathMap::Map(std::u16string_view path, std::string& host) {
    if (path.empty()) {
        host.clear();
        return ERROR_PATH_NOT_FOUND;
    }
    if (path.front() == u'/') {
        // Windows-minded callers build host paths with "\" too ("%sData\API\"
        // after a host folder): it separates levels here as well.
        host = Utf::ToUtf8(path);
        std::replace(host.begin(), host.end(), '\\', '/');
        return ERROR_SUCCESS;
    }
    // The "\\?\" long-path form names the same file as the path after it.
    if (path.size() >= 6 && path.substr(0, 4) == u"\\\\?\\" && IsAsciiLetter(path[4]) && path[5] == u':')
        path.remove_prefix(4);
    char letter = 0;
    std::u16string_view rest;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
        letter = static_cast<char>(path[0] | 0x20);
        rest = path.substr(2);
    } else if (path.front() == u'\\') {
        letter = 'c';
        rest = path;
    } else {
        host = MapRelative(path);
        return ERROR_SUCCESS;
    }
    const std::string link = Prefix::Path() + "/dosdevices/" + letter + ":";
    host = MapDrivePath(link, rest);
    struct stat info {};
    if (stat(link.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
}

BOOL ComrtMapPathW(LPCWSTR path, char* hostPath, DWORD size) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host;
    const DWORD error = PathMap::Map(path, host);
    if (hostPath == nullptr || host.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    host.copy(hostPath, host.size());
    hostPath[host.size()] = '\0';
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
