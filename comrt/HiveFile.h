// One registry hive kept as a registry-editor text file (UTF-8):
//   Windows Registry Editor Version 5.00
//   <blank line>
//   [HKEY_LOCAL_MACHINE\Software\Key]
//   @="default"
//   "name"="text with \\ and \" escaped"
//   "count"=dword:0000002a
//   "blob"=hex:01,02          (other types: hex(<type>):..)
// one section per key, so keys without values survive.
// Writers serialise through an exclusive flock on "<file>.lock" and replace
// the file by rename() of a fsync'd temporary in the same folder: concurrent
// writers in several processes lose nothing and readers, who take no lock,
// always see a complete file.
// Parsed files are cached (HiveCache).
// Thread-safety: instances are immutable; Read and Update may run from any
// thread or process at once. Failure: Read of a missing or unreadable file is
// an empty tree; Update answers a Win32 error code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <comrt/winbase.h>

#include "RegTree.h"
#include "UniqueFd.h"

class HiveFile {
public:
    // `path` is the hive file; `rootName` the section prefix, such as
    // u"HKEY_LOCAL_MACHINE".
    HiveFile(std::string path, std::u16string rootName);

    // The current content, parsed (shared with the cache; never null).
    std::shared_ptr<const RegTree> Read() const;

    // Under the lock: reads the current file, runs `change`, and when it
    // answers ERROR_SUCCESS with `modified` set, writes the result back.
    // Answers change's result, or ERROR_ACCESS_DENIED / ERROR_CANTWRITE when
    // the lock or the new file cannot be made.
    LSTATUS Update(const std::function<LSTATUS(RegTree& tree, bool& modified)>& change) const;

    static RegTree Parse(std::string_view text, std::u16string_view rootName);
    static std::string Serialise(const RegTree& tree, std::u16string_view rootName);

private:
    // Writes a temporary, fsyncs it and renames it over the hive; answers
    // the open new file, or an empty descriptor on failure.
    UniqueFd WriteAtomically(const std::string& text) const;

    std::string path_;
    std::u16string rootName_;
};
