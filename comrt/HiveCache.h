// Hive files read last, as snapshots (read whole, or through the index),
// so that a run of registry calls reads a file once. An entry is valid
// while the path still names the same file (device, inode, size,
// modification and change times). Each entry keeps
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

#include "HiveSnapshot.h"
#include "UniqueFd.h"

class HiveCache {
public:
    static HiveCache& Instance();
    // Whether two stats describe the same version of one file.
    static bool SameFile(const struct stat& a, const struct stat& b);

    // The cached snapshot of `path` when `current` (a stat of the path) still
    // describes the file it was read from; null otherwise.
    std::shared_ptr<const HiveSnapshot> Find(const std::string& path, const struct stat& current);
    // Remembers the snapshot read from the open file `file` at `path`, whose
    // fstat taken before reading is `identity`.
    void Store(const std::string& path, UniqueFd file, const struct stat& identity,
               std::shared_ptr<const HiveSnapshot> snapshot);

private:
    struct Entry {
        std::string path;
        UniqueFd file;
        struct stat identity {};
        std::shared_ptr<const HiveSnapshot> snapshot;
    };
    static constexpr size_t kEntries = 8;

    std::mutex mutex_;
    std::vector<Entry> entries_;  // least recently stored first
};
