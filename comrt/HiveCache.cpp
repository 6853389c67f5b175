#include "HiveCache.h"

HiveCache& HiveCache::Instance() {
    // Never destroyed: registry calls may come from other static destructors.
    static HiveCache* cache = new HiveCache;
    return *cache;
}

bool HiveCache::SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

std::shared_ptr<const HiveSnapshot> HiveCache::Find(const std::string& path, const struct stat& current) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.path == path) return SameFile(entry.identity, current) ? entry.snapshot : nullptr;
    }
    return nullptr;
}

void HiveCache::Store(const std::string& path, UniqueFd file, const struct stat& identity,
                      std::shared_ptr<const HiveSnapshot> snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path) continue;
        entries_.erase(it);
        break;
    }
    if (entries_.size() == kEntries) entries_.erase(entries_.begin());
    entries_.push_back(Entry{path, std::move(file), identity, std::move(snapshot)});
}
