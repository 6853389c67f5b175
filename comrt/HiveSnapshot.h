// One version of a hive file, kept for reading. Made either by reading the
// whole text, which is checked whole (HiveScanner) and indexed in the same
// pass by the hash of each key path a section names or implies; or, for a
// large hive whose index file describes this version (HiveIndex), from the
// open file and that index alone. A read then goes to the few sections of
// its key and decodes only their values, so a process that makes one object
// reads no more of a large registry than those sections; only a read that
// lists subkeys reads the whole file.
// A snapshot read whole also serves a rewrite (HiveChange, HiveDocument),
// and lists subkeys from a table of each key's link to its parent, by path
// hash, built at the first such question.
// Memory: read whole, the text plus about 50 bytes a section (and 24 bytes
// a key once the links are built); from an index, nothing of the file.
// Thread-safety: immutable once made; any thread may read at once (what is
// built at a first question is built once, under std::call_once). Failure: a refused file
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
#include "HiveScanner.h"
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
    // The names of the subkeys of the key at `path`, in folded-name order,
    // each as first written; whether it has any. Through an index, the
    // first such question reads the whole file once.
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    bool HasSubKeys(std::u16string_view path) const;

    // Read whole, not refused: the text is at hand for a rewrite.
    bool Whole() const { return !index_ && error_.empty(); }
    // Of a snapshot read whole: how the file is encoded, and its bytes.
    HiveScanner::Encoding Encoding() const { return encoding_; }
    const std::string& Bytes() const { return bytes_; }
    // Of a snapshot read whole: the sections (of this hive's own keys, in
    // file order) that name exactly the key at `path`.
    std::vector<uint32_t> SectionsOf(std::u16string_view path) const;
    // The existing key at `path` as the file first writes it (each level's
    // first spelling); the normalised path itself when the file lacks it.
    std::u16string Spelling(std::u16string_view path) const;

    // Writes the index of a snapshot read whole, for the hive at `hivePath`
    // whose version is `identity`, through the new file `temporary`. For a
    // holder of the prefix's registry lock. False when it cannot.
    bool WriteIndex(const std::string& temporary, const std::string& hivePath, const struct stat& identity) const;

    HiveSnapshot(const HiveSnapshot&) = delete;
    HiveSnapshot& operator=(const HiveSnapshot&) = delete;

private:
    friend class HiveDocument;
    using Section = HiveIndex::Section;
    // A key below its parent, by the hashes of their paths: `section` is
    // the first that names or implies the key, `depth` the key's level in it.
    struct Link {
        uint64_t parent = 0;
        uint64_t child = 0;
        uint32_t section = 0;
        uint32_t depth = 0;
    };
    // Every key's links, by parent, child and section.
    const std::vector<Link>& Links() const;
    // The folded path of an own section (levels without empty ones).
    void FoldedPath(uint32_t section, std::u16string& folded) const;
    // The key path of an own section as written (UTF-8, empty levels included).
    std::string_view WrittenPath(uint32_t section) const;
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
    HiveScanner::Encoding encoding_ = HiveScanner::Encoding::Utf8;
    std::vector<uint64_t> headers_;   // where every section header begins, this hive's or not
    std::vector<uint32_t> ordinals_;  // each own section's place among all the headers
    // Through an index:
    UniqueFd file_;
    std::unique_ptr<HiveIndex> index_;

    // Through an index: the same version read whole, for listing subkeys.
    static const HiveSnapshot& Whole(const HiveSnapshot& indexed);
    mutable std::once_flag wholeOnce_;
    mutable std::shared_ptr<const HiveSnapshot> whole_;
    mutable std::once_flag linksOnce_;
    mutable std::vector<Link> links_;
};
