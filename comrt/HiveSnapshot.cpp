#include "HiveSnapshot.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <map>

#include "HiveScanner.h"
#include "Utf.h"

namespace {
constexpr uint32_t kNone = HiveIndex::kNone;
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kRootHash = 0x243F6A8885A308D3ull;

// The eight bytes with 'a' to 'z' made upper case, the others unchanged.
uint64_t UpperWord(uint64_t word) {
    const uint64_t low = word & ~kHigh;
    const uint64_t fromA = low + kOnes * (0x80 - 'a');
    const uint64_t pastZ = low + kOnes * (0x80 - 'z' - 1);
    return word - ((((fromA ^ pastZ) & ~word) & kHigh) >> 2);
}

uint64_t Finish(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t Word(std::string_view text, size_t at) {
    uint64_t word = 0;
    std::memcpy(&word, text.data() + at, std::min<size_t>(8, text.size() - at));
    return word;
}

bool Ascii(std::string_view text) {
    uint64_t bits = 0;
    for (size_t at = 0; at < text.size(); at += 8) bits |= Word(text, at);
    return (bits & kHigh) == 0;
}

// The hash of a key name in its folded form (as RegTree::Fold gives it,
// in UTF-8), eight bytes at a time. Clears `ascii` for a name beyond ASCII.
uint64_t NameHash(std::string_view name, bool& ascii) {
    std::string folded;
    if (!Ascii(name)) {
        ascii = false;
        folded = Utf::ToUtf8(RegTree::Fold(Utf::ToUtf16(name)));
        name = folded;
    }
    uint64_t hash = name.size() * 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < name.size(); at += 8) {
        hash = (hash ^ UpperWord(Word(name, at))) * 0xFF51AFD7ED558CCDull;
        hash = (hash << 31) | (hash >> 33);
    }
    return Finish(hash);
}

// The hash of a path one level deeper.
uint64_t Extend(uint64_t path, uint64_t name) { return Finish(path ^ (name + 0x9E3779B97F4A7C15ull)); }

// Calls `visit` with each non-empty level of a UTF-8 path.
template <typename Visit>
void ForEachLevel(std::string_view path, Visit visit) {
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) visit(path.substr(start, end - start));
        start = end + 1;
    }
}

uint64_t PathHash(std::string_view path) {
    uint64_t hash = kRootHash;
    bool ascii = true;
    ForEachLevel(path, [&](std::string_view level) { hash = Extend(hash, NameHash(level, ascii)); });
    return hash;
}

// Collects the values of one section into a key, as a tree would hold them.
class ValueSink : public HiveScanner::Sink {
public:
    explicit ValueSink(std::vector<RegTree::Value>& values) : values_(values) {}
    void Take(const HiveScanner::Element& element) override {
        if (element.kind != HiveScanner::Kind::Value) return;
        RegTree::Value value;
        value.name = HiveScanner::Name(element.name);
        HiveScanner::Data(element.data, value);
        RegTree::SetValue(values_, std::move(value));
    }

private:
    std::vector<RegTree::Value>& values_;
};
}  // namespace

// Records each section of the hive, and the hash of every path it names or
// implies, as the scanner reads the text.
class HiveSnapshot::Indexer : public HiveScanner::Sink {
public:
    explicit Indexer(HiveSnapshot& snapshot) : snapshot_(snapshot) {}

    void Take(const HiveScanner::Element& element) override {
        if (element.kind != HiveScanner::Kind::Section) return;
        std::vector<Section>& sections = snapshot_.sections_;
        const uint64_t at = Offset(element.text);
        if (open_) sections.back().end = at;
        open_ = element.own;
        snapshot_.headers_.push_back(at);
        if (!element.own) return;
        snapshot_.ordinals_.push_back(static_cast<uint32_t>(snapshot_.headers_.size() - 1));
        const auto index = static_cast<uint32_t>(sections.size());
        Section section;
        section.begin = at;
        section.pathOffset = static_cast<uint32_t>(Offset(element.path) - at);
        section.pathLength = static_cast<uint32_t>(element.path.size());
        sections.push_back(section);
        // Sections mostly share their first levels with the section before:
        // the levels written the same are neither hashed nor recorded again.
        const std::string_view path = element.path;
        size_t same = 0;
        while (same < path.size() && same < previousPath_.size() && path[same] == previousPath_[same]) ++same;
        const auto boundary = [](std::string_view text, size_t end) { return end == text.size() || text[end] == '\\'; };
        uint64_t hash = kRootHash;
        size_t depth = 0;
        ForEachLevel(path, [&](std::string_view level) {
            const size_t end = static_cast<size_t>(level.data() - path.data()) + level.size();
            if (depth < previous_.size() && (end < same || (end == same && boundary(previousPath_, end)))) {
                hash = previous_[depth++];
                return;
            }
            hash = Extend(hash, NameHash(level, snapshot_.asciiNames_));
            previous_.resize(depth);
            previous_.push_back(hash);
            records_.push_back(Record{hash, index, false});
            ++depth;
        });
        previous_.resize(depth);
        previousPath_ = path;
        // The last level's record, when new, is the section's own.
        if (!records_.empty() && records_.back().section == index && records_.back().hash == hash)
            records_.back().named = true;
        else
            records_.push_back(Record{hash, index, true});
    }

    // After the last element: closes the last section and builds the table.
    void Finish() {
        if (open_) snapshot_.sections_.back().end = snapshot_.base_.size();
        size_t size = 16;
        while (size < records_.size() + records_.size() / 2) size *= 2;
        std::vector<Slot>& slots = snapshot_.slots_;
        slots.assign(size, Slot{});
        // From the last record back, so that each chain comes out in file order.
        for (auto record = records_.rbegin(); record != records_.rend(); ++record) {
            size_t at = record->hash & (size - 1);
            while (slots[at].witness != kNone && slots[at].hash != record->hash) at = (at + 1) & (size - 1);
            Slot& slot = slots[at];
            slot.hash = record->hash;
            slot.witness = record->section;
            if (!record->named) continue;
            snapshot_.sections_[record->section].next = slot.first;
            slot.first = record->section;
        }
        records_ = std::vector<Record>();
    }

private:
    struct Record {
        uint64_t hash;
        uint32_t section;
        bool named;  // the section's own path, not one of its ancestors
    };
    uint64_t Offset(std::string_view part) const {
        return static_cast<uint64_t>(part.data() - snapshot_.base_.data());
    }

    HiveSnapshot& snapshot_;
    bool open_ = false;
    std::string_view previousPath_;   // the path of the section before
    std::vector<uint64_t> previous_;  // the hash of each of its levels
    std::vector<Record> records_;
};

HiveSnapshot::HiveSnapshot(std::u16string rootName) : rootName_(std::move(rootName)) {}

std::shared_ptr<const HiveSnapshot> HiveSnapshot::Read(std::string bytes, std::u16string rootName) {
    std::shared_ptr<HiveSnapshot> snapshot(new HiveSnapshot(std::move(rootName)));
    snapshot->bytes_ = std::move(bytes);
    HiveScanner::Encoding& encoding = snapshot->encoding_;
    std::string refusal = HiveScanner::Text(snapshot->bytes_, encoding, snapshot->converted_, snapshot->text_);
    snapshot->base_ = encoding == HiveScanner::Encoding::Utf16Le ? std::string_view(snapshot->converted_)
                                                                 : std::string_view(snapshot->bytes_);
    if (refusal.empty()) {
        Indexer indexer(*snapshot);
        refusal = HiveScanner::Scan(snapshot->text_, snapshot->rootName_, indexer);
        if (refusal.empty()) indexer.Finish();
    }
    if (!refusal.empty()) return Unreadable(snapshot->rootName_, std::move(refusal));
    return snapshot;
}

std::shared_ptr<const HiveSnapshot> HiveSnapshot::Indexed(UniqueFd file, std::unique_ptr<HiveIndex> index,
                                                          std::u16string rootName) {
    std::shared_ptr<HiveSnapshot> snapshot(new HiveSnapshot(std::move(rootName)));
    snapshot->file_ = std::move(file);
    snapshot->index_ = std::move(index);
    return snapshot;
}

std::shared_ptr<const HiveSnapshot> HiveSnapshot::Unreadable(std::u16string rootName, std::string reason) {
    std::shared_ptr<HiveSnapshot> snapshot(new HiveSnapshot(std::move(rootName)));
    snapshot->error_ = std::move(reason);
    return snapshot;
}

bool HiveSnapshot::WriteIndex(const std::string& temporary, const std::string& hivePath,
                              const struct stat& identity) const {
    // Offsets count in the file's bytes only when the file is UTF-8.
    if (Refused() || index_ || base_.data() != bytes_.data()) return false;
    return HiveIndex::Write(temporary, hivePath, identity, sections_, slots_, asciiNames_);
}

bool HiveSnapshot::SectionAt(uint32_t at, Section& section) const {
    if (index_) return index_->ReadSection(at, section);
    if (at >= sections_.size()) return false;
    section = sections_[at];
    return true;
}

bool HiveSnapshot::SlotAt(size_t at, Slot& slot) const {
    if (index_) return index_->ReadSlot(at, slot);
    if (at >= slots_.size()) return false;
    slot = slots_[at];
    return true;
}

bool HiveSnapshot::TextAt(uint64_t begin, uint64_t end, std::string& storage, std::string_view& text) const {
    if (!index_) {
        if (begin > end || end > base_.size()) return false;
        text = base_.substr(begin, end - begin);
        return true;
    }
    storage.resize(end - begin);
    if (!file_.ReadAt(storage.data(), storage.size(), begin)) return false;
    text = storage;
    return true;
}

bool HiveSnapshot::Lookup(uint64_t hash, Slot& slot) const {
    const size_t count = SlotCount();
    if (count == 0) return false;
    for (size_t probe = 0, at = hash & (count - 1); probe < count; ++probe, at = (at + 1) & (count - 1)) {
        if (!SlotAt(at, slot) || slot.witness == kNone) return false;
        if (slot.hash == hash) return true;
    }
    return false;
}

bool HiveSnapshot::Names(const Section& section, const std::u16string& folded, bool equal) const {
    std::string storage;
    std::string_view written;
    if (!TextAt(section.begin + section.pathOffset, section.begin + section.pathOffset + section.pathLength, storage,
                written))
        return false;
    const std::u16string path = RegTree::Fold(HiveScanner::Path(written));
    if (equal || path.size() == folded.size()) return path == folded;
    return path.size() > folded.size() && path[folded.size()] == u'\\' && path.compare(0, folded.size(), folded) == 0;
}

bool HiveSnapshot::Exists(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    if (normal.empty()) return true;
    const std::u16string folded = RegTree::Fold(normal);
    Slot slot;
    if (!Lookup(PathHash(Utf::ToUtf8(normal)), slot)) return false;
    Section section;
    if (SectionAt(slot.witness, section) && Names(section, folded, false)) return true;
    // Another path of the same hash took the slot: ask every section.
    for (size_t at = 0; at < SectionCount(); ++at) {
        if (SectionAt(static_cast<uint32_t>(at), section) && Names(section, folded, false)) return true;
    }
    return false;
}

std::vector<RegTree::Value> HiveSnapshot::Values(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    const std::u16string folded = RegTree::Fold(normal);
    std::vector<RegTree::Value> values;
    Slot slot;
    if (!Lookup(PathHash(Utf::ToUtf8(normal)), slot)) return values;
    ValueSink sink(values);
    Section section;
    std::string storage;
    std::string_view text;
    // At most one visit a section, whatever a damaged index chains.
    for (uint32_t at = slot.first, visits = 0; at != kNone && visits < SectionCount(); at = section.next, ++visits) {
        if (!SectionAt(at, section)) break;
        if (Names(section, folded, true) && TextAt(section.begin, section.end, storage, text))
            HiveScanner::ScanSection(text, rootName_, sink);
    }
    return values;
}

const HiveSnapshot& HiveSnapshot::Whole(const HiveSnapshot& indexed) {
    std::call_once(indexed.wholeOnce_, [&indexed] {
        // The file is the version the index describes, still open.
        struct stat info {};
        std::string bytes;
        if (fstat(indexed.file_.Get(), &info) == 0) {
            bytes.resize(static_cast<size_t>(info.st_size));
            if (!indexed.file_.ReadAt(bytes.data(), bytes.size(), 0)) bytes.clear();
        }
        indexed.whole_ = Read(std::move(bytes), indexed.rootName_);
    });
    return *indexed.whole_;
}

namespace {
// Level `depth` of a path as written in a section header, empty levels
// skipped; empty when the path has fewer levels.
std::string_view WrittenLevel(std::string_view path, size_t depth) {
    std::string_view found;
    size_t level = 0;
    ForEachLevel(path, [&](std::string_view name) {
        if (level++ == depth) found = name;
    });
    return found;
}
}  // namespace

std::string_view HiveSnapshot::WrittenPath(uint32_t section) const {
    const Section& own = sections_[section];
    return base_.substr(own.begin + own.pathOffset, own.pathLength);
}

void HiveSnapshot::FoldedPath(uint32_t section, std::u16string& folded) const {
    folded.clear();
    const std::string_view written = WrittenPath(section);
    if (!Ascii(written)) {
        folded = RegTree::Fold(HiveScanner::Path(written));
        return;
    }
    // The common case, without a conversion: upper case, no empty levels.
    ForEachLevel(written, [&](std::string_view level) {
        if (!folded.empty()) folded.push_back(u'\\');
        for (char c : level) folded.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 0x20 : c));
    });
}

const std::vector<HiveSnapshot::Link>& HiveSnapshot::Links() const {
    std::call_once(linksOnce_, [this] {
        std::vector<Link> links;
        std::vector<uint64_t> hashes;  // of each level of the section before
        std::string_view previous;
        bool ascii = true;
        for (uint32_t at = 0; at < sections_.size(); ++at) {
            // Levels written as in the section before were linked for it.
            const std::string_view path = WrittenPath(at);
            size_t same = 0;
            while (same < path.size() && same < previous.size() && path[same] == previous[same]) ++same;
            uint64_t hash = kRootHash;
            uint32_t depth = 0;
            ForEachLevel(path, [&](std::string_view level) {
                const size_t end = static_cast<size_t>(level.data() - path.data()) + level.size();
                const bool shared = end < same || (end == same && (end == previous.size() || previous[end] == '\\'));
                if (shared && depth < hashes.size()) {
                    hash = hashes[depth++];
                    return;
                }
                const uint64_t child = Extend(hash, NameHash(level, ascii));
                links.push_back(Link{hash, child, at, depth});
                hashes.resize(depth);
                hashes.push_back(child);
                hash = child;
                ++depth;
            });
            previous = path;
        }
        std::sort(links.begin(), links.end(), [](const Link& a, const Link& b) {
            if (a.parent != b.parent) return a.parent < b.parent;
            return a.child != b.child ? a.child < b.child : a.section < b.section;
        });
        links_ = std::move(links);
    });
    return links_;
}

std::vector<std::u16string> HiveSnapshot::SubKeys(std::u16string_view path) const {
    if (index_) return Whole(*this).SubKeys(path);
    if (!Whole()) return {};
    const std::u16string normal = RegTree::Normalise(path);
    const std::u16string folded = RegTree::Fold(normal);
    const std::vector<Link>& links = Links();
    const uint64_t hash = PathHash(Utf::ToUtf8(normal));
    auto at = std::lower_bound(links.begin(), links.end(), hash, [](const Link& link, uint64_t key) {
        return link.parent < key;
    });
    // Folded name -> the name as first written.
    std::map<std::u16string, std::u16string> names;
    for (; at != links.end() && at->parent == hash; ++at) {
        // The first link of a child holds its first section; a path of
        // another key with the same hash does not pass the check.
        if (at != links.begin() && std::prev(at)->parent == hash && std::prev(at)->child == at->child) continue;
        if (!folded.empty() && !Names(sections_[at->section], folded, false)) continue;
        std::u16string name = Utf::ToUtf16(WrittenLevel(WrittenPath(at->section), at->depth));
        names.try_emplace(RegTree::Fold(name), std::move(name));
    }
    std::vector<std::u16string> out;
    out.reserve(names.size());
    for (auto& [key, name] : names) out.push_back(std::move(name));
    return out;
}

bool HiveSnapshot::HasSubKeys(std::u16string_view path) const {
    if (index_) return Whole(*this).HasSubKeys(path);
    if (!Whole()) return false;
    const std::u16string normal = RegTree::Normalise(path);
    const std::u16string folded = RegTree::Fold(normal);
    const std::vector<Link>& links = Links();
    const uint64_t hash = PathHash(Utf::ToUtf8(normal));
    auto at = std::lower_bound(links.begin(), links.end(), hash, [](const Link& link, uint64_t key) {
        return link.parent < key;
    });
    for (; at != links.end() && at->parent == hash; ++at) {
        if (folded.empty() || Names(sections_[at->section], folded, false)) return true;
    }
    return false;
}

std::vector<uint32_t> HiveSnapshot::SectionsOf(std::u16string_view path) const {
    std::vector<uint32_t> found;
    const std::u16string normal = RegTree::Normalise(path);
    const std::u16string folded = RegTree::Fold(normal);
    Slot slot;
    if (!Lookup(PathHash(Utf::ToUtf8(normal)), slot)) return found;
    Section section;
    for (uint32_t at = slot.first, visits = 0; at != kNone && visits < SectionCount(); at = section.next, ++visits) {
        if (!SectionAt(at, section)) break;
        if (Names(section, folded, true)) found.push_back(at);
    }
    return found;
}

std::u16string HiveSnapshot::Spelling(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    if (!Whole()) return normal;
    // Level by level, the first section that names or implies the key so far
    // wrote that level first. Deep keys mostly keep one such section, whose
    // path is then read on from where the level before ended.
    const std::string path8 = Utf::ToUtf8(normal);
    std::u16string written;
    uint64_t hash = kRootHash;
    bool ascii = true;
    uint32_t witness = kNone;
    std::string_view rest;  // the witness's path after the level taken last
    ForEachLevel(path8, [&](std::string_view level) {
        hash = Extend(hash, NameHash(level, ascii));
        std::string_view spelled = level;
        Slot slot;
        if (Lookup(hash, slot) && slot.witness < sections_.size()) {
            if (slot.witness != witness) {
                // A new witness: skip the levels before this one in its path.
                witness = slot.witness;
                rest = WrittenPath(witness);
                const size_t depth = static_cast<size_t>(std::count(normal.begin(), normal.end(), u'\\')) -
                                     static_cast<size_t>(std::count(path8.begin() + (level.data() - path8.data()),
                                                                    path8.end(), '\\'));
                for (size_t skipped = 0; skipped < depth;) {
                    const size_t cut = rest.find('\\');
                    if (cut == std::string_view::npos) {
                        rest = std::string_view();
                        break;
                    }
                    if (cut > 0) ++skipped;
                    rest.remove_prefix(cut + 1);
                }
            }
            while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
            const std::string_view candidate = rest.substr(0, std::min(rest.find('\\'), rest.size()));
            rest.remove_prefix(candidate.size());
            if (RegTree::Fold(Utf::ToUtf16(candidate)) == RegTree::Fold(Utf::ToUtf16(level))) spelled = candidate;
        }
        if (!written.empty()) written.push_back(u'\\');
        written += Utf::ToUtf16(spelled);
    });
    return written;
}
