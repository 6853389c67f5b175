// One version of a hive file, kept for reading. Made either by reading the
// whole text, which is checked whole (HiveScanner) and indexed in the same
// pass by the hash of each key path a section names or implies; or, for a
// large hive whose index file describes this version (HiveIndex), from the
// open file and that index alone. A read then goes to the few sections of
// its key and decodes only their values, so a process that makes one object
// reads no more of a large registry than those sections. The tree of the
// whole hive is built only when a read lists subkeys.
// Memory: read whole, the text plus about 50 bytes a section; from an index,
// nothing of the file.
// Thread-safety: immutable once made; any thread may read at once (the
// whole tree is built once, under std::call_once). Failure: a refused file
// answers Refused() with Error(); nothing throws except std::bad_alloc.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HiveIndex.h"
#include "RegTree.h"
#include "UniqueFd.h"

class HiveSnapshot {
public:
    // The hive of the file whose bytes are `bytes` (no file: empty bytes).
    static std::shared_ptr<const HiveSnapshot> Read(std::string bytes, std::u16string rootName);
    // The hive of the open file `file`, through its index.
    static std::shared_ptr<const HiveSnapshot> Indexed(UniqueFd file, std::unique_ptr<HiveIndex> index,
                                                       std::u16string rootName);
    // A file that could not even be read, for `reason`.
    static std::shared_ptr<const HiveSnapshot> Unreadable(std::u16string rootName, std::string reason);

    bool Refused() const { return !error_.empty(); }
    // Why the file was refused, such as "line 3: ...".
    const std::string& Error() const { return error_; }

    // Whether the key at `path` (below the root, levels separated by '\')
    // exists; the root always does.
    bool Exists(std::u16string_view path) const;
    // The values of the key at `path`, as a tree of the file would hold them
    // (in the order first written; none when the key is missing).
    std::vector<RegTree::Value> Values(std::u16string_view path) const;
    // The whole hive (for listing subkeys); empty when refused.
    const RegTree& Tree() const;

    // Writes the index of a snapshot read whole, for the hive at `hivePath`
    // whose version is `identity`, through the new file `temporary`. For a
    // holder of the prefix's registry lock. False when it cannot.
    bool WriteIndex(const std::string& temporary, const std::string& hivePath, const struct stat& identity) const;

    HiveSnapshot(const HiveSnapshot&) = delete;
    HiveSnapshot& operator=(const HiveSnapshot&) = delete;

private:
    using Section = HiveIndex::Section;
    using Slot = HiveIndex::Slot;
    class Indexer;

    explicit HiveSnapshot(std::u16string rootName);
    bool SectionAt(uint32_t at, Section& section) const;
    bool SlotAt(size_t at, Slot& slot) const;
    size_t SectionCount() const { return index_ ? index_->Sections() : sections_.size(); }
    size_t SlotCount() const { return index_ ? index_->Slots() : slots_.size(); }
    // The text from `begin` to `end`: a view into the text read, or into
    // `storage` read from the file.
    bool TextAt(uint64_t begin, uint64_t end, std::string& storage, std::string_view& text) const;
    // The first slot of `hash`; false when there is none.
    bool Lookup(uint64_t hash, Slot& slot) const;
    // Whether the path of `section` is `folded` (equal) or lies below it.
    bool Names(const Section& section, const std::u16string& folded, bool equal) const;

    std::u16string rootName_;
    std::string error_;
    // Read whole:
    std::string bytes_;
    std::string converted_;  // the UTF-8 text of a UTF-16 file
    std::string_view text_;  // the UTF-8 text
    std::string_view base_;  // what section offsets count in: the file's bytes, or converted_
    std::vector<Section> sections_;
    std::vector<Slot> slots_;  // a power of two long
    bool asciiNames_ = true;
    // Through an index:
    UniqueFd file_;
    std::unique_ptr<HiveIndex> index_;

    mutable std::once_flag treeOnce_;
    mutable std::unique_ptr<RegTree> tree_;
};
