// The index of a large hive file, kept beside it as <hive>.index, so that a
// process reads the few sections of the keys it looks up instead of the
// whole file. It holds, for one version of the hive (device, inode, size,
// modification and change times), where each section of the hive's own keys
// lies in the text, and an open-addressing table from the hash of every key
// path the sections name or imply to those sections (HiveSnapshot builds
// both). It is a cache: written whole to a temporary file, synced and renamed
// into place by a holder of the prefix's registry lock; ignored when it
// describes another version of the hive, has another form or length, or
// names key paths that the runtime's case folding could hash otherwise than
// when it was written. Every entry is checked against the hive's size when
// read, and every section it leads to is checked against the hive's text by
// the reader, so a damaged index cannot make a read answer another key.
// Thread-safety: an open index is immutable; reads use pread and may run
// from any thread. Failure: Open answers null, reads answer false; nothing
// throws except std::bad_alloc.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UniqueFd.h"

class HiveIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;
    // Hives of this size and more get an index.
    static constexpr uint64_t kMinimumHive = 1u << 20;

    // A section of the hive's own keys in the hive's text.
    struct Section {
        uint64_t begin = 0;       // its header line
        uint64_t end = 0;         // the next section's header, or the end of the text
        uint32_t pathOffset = 0;  // the key path in the header, from `begin`
        uint32_t pathLength = 0;
        uint32_t next = kNone;    // the next section of the same path hash
        uint32_t unused = 0;
    };
    // A path hash in the table.
    struct Slot {
        uint64_t hash = 0;
        uint32_t witness = kNone;  // a section whose path is or lies below the path
        uint32_t first = kNone;    // the first section of the path hash, in file order
    };

    // The index file of the hive file `hivePath`.
    static std::string PathOf(const std::string& hivePath);
    // Writes the index of the hive at `hivePath`, whose version is
    // `identity`, to the new file `temporary` and renames it into place;
    // `asciiNames` when every key name is ASCII. For a holder of the
    // prefix's registry lock. False, with `temporary` removed, when it cannot.
    static bool Write(const std::string& temporary, const std::string& hivePath, const struct stat& identity,
                      const std::vector<Section>& sections, const std::vector<Slot>& slots, bool asciiNames);
    // The index of the hive at `hivePath` when it describes `identity`.
    static std::unique_ptr<HiveIndex> Open(const std::string& hivePath, const struct stat& identity);

    size_t Sections() const { return sections_; }
    size_t Slots() const { return slots_; }
    // Entry `at`, checked against the table and the hive; false when it
    // cannot be read or is out of bounds.
    bool ReadSection(uint32_t at, Section& section) const;
    bool ReadSlot(size_t at, Slot& slot) const;

private:
    HiveIndex(UniqueFd file, uint64_t hiveSize, uint64_t sections, uint64_t slots);
    // A fingerprint of the case folding of the Basic Multilingual Plane.
    static uint64_t FoldPrint();

    UniqueFd file_;
    uint64_t hiveSize_;
    uint64_t sections_;
    uint64_t slots_;
};
