// Maps Windows paths onto the host file system through the prefix's drive
// links: "X:\a\b" names a/b under the folder that <prefix>/dosdevices/x:
// links to. Every file function of the runtime goes through this one mapping.
// Thread-safety: stateless. Failure: a Win32 error code (see Map).
#pragma once

#include <string>
#include <string_view>

#include <comrt/wintypes.h>

class PathMap {
public:
    // Writes the host path of `path` into `host` and answers ERROR_SUCCESS,
    // or ERROR_PATH_NOT_FOUND when the drive has no link (host still holds
    // the mapped text, which then names nothing) or the path is empty.
    //  - "X:\a\b", "x:/a//b": <prefix>/dosdevices/x:/a/b; "." and ".." are
    //    resolved by text and never climb above the drive root.
    //  - "X:a" counts as "X:\a"; "\a" (no drive) counts as "C:\a".
    //  - "/a/b", "/a\b": a host path, with every "\" turned into "/".
    //  - "a\b": relative, separators become '/'.
    static DWORD Map(std::u16string_view path, std::string& host);

private:
    static bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
    // `link` is the drive link; `rest` the path after "X:".
    static std::string MapDrivePath(const std::string& link, std::u16string_view rest);
    static std::string MapRelative(std::u16string_view path);
};
