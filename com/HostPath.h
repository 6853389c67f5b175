// The file name handed to SQLite's open calls for a Windows path. On Linux
// every open goes through the runtime's path mapping (X:\a\b names a/b under
// the folder that the drive's link names; a path beginning with '/' passes
// with every "\" as "/"), and SQLite's file layer takes mapped paths of up to
// 4096 bytes; on Windows the path is used as it is. Texts that are logged or
// recorded keep the Windows form: only the open sees the mapped one.
// Thread-safety: stateless; safe from any thread. Throws only std::bad_alloc.
#pragma once

#include <string>

#include "Platform.h"

class HostPath {
public:
    // The UTF-16 file name for sqlite3_open16. A path on a drive without a
    // link maps to a name under the missing link, so that the open fails as
    // it would on Windows.
    static WString ForOpen(const WString& windowsPath);

    // The same file name in UTF-8, for sqlite3_open and sqlite3_open_v2.
    static std::string ForOpenUtf8(const WString& windowsPath);

    // Whether a file or folder is at windowsPath, whose name for the open
    // openName is (ForOpenUtf8 of it): what GetFileAttributesW tells by
    // succeeding, in one test of the file system, without mapping again.
    static bool Exists(const WString& windowsPath, const std::string& openName);

    // openName (from ForOpenUtf8) in UTF-16 for sqlite3_open16; well-formed,
    // as every conversion from UTF-8 is.
    static WString Widen(const std::string& openName);

private:
    static std::string ToUtf8(const WString& text);
};
