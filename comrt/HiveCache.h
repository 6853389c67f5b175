// Parsed hive files read last, so that a run of registry reads
// parses a file once. An entry is valid while the path still names the same
// file (device, inode, size, modification and change times). Each entry keeps
// its file open, so the inode cannot be freed and reused by a later file
// while the entry exists; writers replace hives by rename(), never in place.
// Thread-safety: all members are safe from any thread. Failure: a lookup
// that cannot prove the entry current misses.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HiveDocument.h"
#include "UniqueFd.h"

class HiveCache {
public:
    static HiveCache& Instance();

    // The cached document of `path` when `current` (a stat of the path) still
    // describes the file it was parsed from; null otherwise.
    std::shared_ptr<const HiveDocument> Find(const std::string& path, const struct stat& current);
    // Remembers the document parsed from the open file `file` at `path`, whose
    // fstat taken before reading is `identity`.
    void Store(const std::string& path, UniqueFd file, const struct stat& identity,
               std::shared_ptr<const HiveDocument> document);

private:
    struct Entry {
        std::string path;
        UniqueFd file;
        struct stat identity {};
        std::shared_ptr<const HiveDocument> document;
    };
    static constexpr size_t kEntries = 8;
    static bool SameFile(const struct stat& a, const struct stat& b);

    std::mutex mutex_;
    std::vector<Entry> entries_;  // least recently stored first
};
