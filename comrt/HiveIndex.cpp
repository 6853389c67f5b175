#include "HiveIndex.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "RegTree.h"

namespace {
constexpr char kMagic[8] = {'c', 'o', 'm', 'r', 't', 'i', 'd', 'x'};
constexpr uint32_t kVersion = 1;

struct Header {
    char magic[8];
    uint32_t version;
    uint32_t asciiNames;
    uint64_t foldPrint;  // 0 when every name is ASCII
    uint64_t device, inode, size, modified, modifiedNs, changed, changedNs;
    uint64_t sections, slots;
    uint64_t check;  // of the bytes before it
};

uint64_t Check(const void* data, size_t size) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 0x100000001B3ull;
    return hash;
}

void Describe(Header& header, const struct stat& identity) {
    header.device = identity.st_dev;
    header.inode = identity.st_ino;
    header.size = static_cast<uint64_t>(identity.st_size);
    header.modified = static_cast<uint64_t>(identity.st_mtim.tv_sec);
    header.modifiedNs = static_cast<uint64_t>(identity.st_mtim.tv_nsec);
    header.changed = static_cast<uint64_t>(identity.st_ctim.tv_sec);
    header.changedNs = static_cast<uint64_t>(identity.st_ctim.tv_nsec);
}

}  // namespace

std::string HiveIndex::PathOf(const std::string& hivePath) { return hivePath + ".index"; }

uint64_t HiveIndex::FoldPrint() {
    static const uint64_t print = [] {
        std::u16string units(0x10000, u'\0');
        for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(i);
        const std::u16string folded = RegTree::Fold(units);
        return Check(folded.data(), folded.size() * sizeof(char16_t)) | 1;
    }();
    return print;
}

bool HiveIndex::Write(const std::string& temporary, const std::string& hivePath, const struct stat& identity,
                      const std::vector<Section>& sections, const std::vector<Slot>& slots, bool asciiNames) {
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.version = kVersion;
    header.asciiNames = asciiNames ? 1 : 0;
    header.foldPrint = asciiNames ? 0 : FoldPrint();
    Describe(header, identity);
    header.sections = sections.size();
    header.slots = slots.size();
    header.check = Check(&header, offsetof(Header, check));
    UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid()) return false;
    // Synced before the rename: an index in place is whole.
    const bool written = file.WriteAll(&header, sizeof header) &&
                         file.WriteAll(sections.data(), sections.size() * sizeof(Section)) &&
                         file.WriteAll(slots.data(), slots.size() * sizeof(Slot)) && fsync(file.Get()) == 0 &&
                         rename(temporary.c_str(), PathOf(hivePath).c_str()) == 0;
    if (!written) unlink(temporary.c_str());
    return written;
}

std::unique_ptr<HiveIndex> HiveIndex::Open(const std::string& hivePath, const struct stat& identity) {
    UniqueFd file(open(PathOf(hivePath).c_str(), O_RDONLY | O_CLOEXEC));
    Header header{};
    struct stat info {};
    if (!file.Valid() || fstat(file.Get(), &info) != 0 || !file.ReadAt(&header, sizeof header, 0)) return nullptr;
    Header expected{};
    Describe(expected, identity);
    const bool same = std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.version == kVersion &&
                      header.check == Check(&header, offsetof(Header, check)) && header.device == expected.device &&
                      header.inode == expected.inode && header.size == expected.size &&
                      header.modified == expected.modified && header.modifiedNs == expected.modifiedNs &&
                      header.changed == expected.changed && header.changedNs == expected.changedNs;
    if (!same || header.sections >= kNone || header.slots == 0 || (header.slots & (header.slots - 1)) != 0 ||
        header.slots > (uint64_t{1} << 40) ||
        static_cast<uint64_t>(info.st_size) !=
            sizeof header + header.sections * sizeof(Section) + header.slots * sizeof(Slot))
        return nullptr;
    if (header.asciiNames == 0 && header.foldPrint != FoldPrint()) return nullptr;
    return std::unique_ptr<HiveIndex>(new HiveIndex(std::move(file), header.size, header.sections, header.slots));
}

HiveIndex::HiveIndex(UniqueFd file, uint64_t hiveSize, uint64_t sections, uint64_t slots)
    : file_(std::move(file)), hiveSize_(hiveSize), sections_(sections), slots_(slots) {}

bool HiveIndex::ReadSection(uint32_t at, Section& section) const {
    if (at >= sections_ || !file_.ReadAt(&section, sizeof section, sizeof(Header) + at * sizeof(Section)))
        return false;
    return section.begin <= section.end && section.end <= hiveSize_ &&
           uint64_t{section.pathOffset} + section.pathLength <= section.end - section.begin &&
           (section.next == kNone || section.next < sections_);
}

bool HiveIndex::ReadSlot(size_t at, Slot& slot) const {
    if (at >= slots_ ||
        !file_.ReadAt(&slot, sizeof slot, sizeof(Header) + sections_ * sizeof(Section) + at * sizeof(Slot)))
        return false;
    return (slot.witness == kNone || slot.witness < sections_) && (slot.first == kNone || slot.first < sections_);
}
