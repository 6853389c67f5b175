#include "HiveFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "HiveDocument.h"
#include "RegistryChange.h"

namespace {
// Reads the whole file, `size` bytes as its fstat says, into `text`, straight
// into its final place; a file that grew meanwhile is read to its end.
bool ReadAll(int fd, size_t size, std::string& text) {
    text.resize(size + 1);
    size_t done = 0;
    for (;;) {
        if (done == text.size()) text.resize(text.size() * 2);
        const ssize_t got = read(fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    text.resize(done);
    return true;
}

// The writer's process id in a temporary file's name, <hive>.tmp.<pid>.<n>,
// given the part after "<hive>.tmp."; 0 when the name has another form.
pid_t TemporaryOwner(std::string_view rest) {
    const size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == rest.size()) return 0;
    const auto digits = [](std::string_view text) {
        return text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digits(rest.substr(0, dot)) || !digits(rest.substr(dot + 1)) || dot > 9) return 0;
    return static_cast<pid_t>(std::stol(std::string(rest.substr(0, dot))));
}

}  // namespace

HiveFile::Replacement::~Replacement() {
    if (!temp_.empty()) unlink(temp_.c_str());
}

HiveFile::HiveFile(std::string path, std::u16string rootName)
    : path_(std::move(path)), rootName_(std::move(rootName)) {}

HiveFile HiveFile::Machine(const std::string& prefix) { return HiveFile(prefix + "/system.reg", u"HKEY_LOCAL_MACHINE"); }

HiveFile HiveFile::User(const std::string& prefix) { return HiveFile(prefix + "/user.reg", u"HKEY_CURRENT_USER"); }

void HiveFile::Report(const std::string& reason) const {
    std::fprintf(stderr, "comrt: cannot read the registry file %s: %s. It is left as it is.\n", path_.c_str(),
                 reason.c_str());
}

bool HiveFile::Load(UniqueFd& file, struct stat& identity, std::string& bytes, bool& missing,
                    std::string& reason) const {
    missing = false;
    file = UniqueFd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid() && errno == ENOENT) {
        missing = true;
        return false;
    }
    if (!file.Valid() || fstat(file.Get(), &identity) != 0 ||
        !ReadAll(file.Get(), static_cast<size_t>(identity.st_size), bytes)) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

std::shared_ptr<const HiveSnapshot> HiveFile::Read() const {
    struct stat current {};
    if (stat(path_.c_str(), &current) != 0) {
        if (errno == ENOENT) return HiveSnapshot::Read(std::string(), rootName_);
        const std::string reason = std::strerror(errno);
        Report(reason);
        return HiveSnapshot::Unreadable(rootName_, reason);
    }
    if (auto cached = HiveCache::Instance().Find(path_, current)) return cached;
    // A large hive whose index describes this very file is not read at all.
    if (static_cast<uint64_t>(current.st_size) >= HiveIndex::kMinimumHive) {
        UniqueFd opened(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat identity {};
        if (opened.Valid() && fstat(opened.Get(), &identity) == 0) {
            if (auto index = HiveIndex::Open(path_, identity)) {
                UniqueFd pin(dup(opened.Get()));
                auto snapshot = HiveSnapshot::Indexed(std::move(opened), std::move(index), rootName_);
                if (pin.Valid()) HiveCache::Instance().Store(path_, std::move(pin), identity, snapshot);
                return snapshot;
            }
        }
    }
    return ReadWhole(true);
}

std::shared_ptr<const HiveSnapshot> HiveFile::ReadWhole() const { return ReadWhole(false); }

std::shared_ptr<const HiveSnapshot> HiveFile::ReadWhole(bool index) const {
    struct stat current {};
    if (stat(path_.c_str(), &current) == 0) {
        auto cached = HiveCache::Instance().Find(path_, current);
        if (cached && (cached->Whole() || cached->Refused())) return cached;  // a refusal is said already
    }
    UniqueFd file;
    std::string bytes, reason;
    bool missing = false;
    if (!Load(file, current, bytes, missing, reason)) {
        if (missing) return HiveSnapshot::Read(std::string(), rootName_);
        Report(reason);
        return HiveSnapshot::Unreadable(rootName_, reason);
    }
    auto snapshot = HiveSnapshot::Read(std::move(bytes), rootName_);
    if (snapshot->Refused()) Report(snapshot->Error());
    if (index && !snapshot->Refused() && static_cast<uint64_t>(current.st_size) >= HiveIndex::kMinimumHive)
        Index(*snapshot, current);
    HiveCache::Instance().Store(path_, std::move(file), current, snapshot);
    return snapshot;
}

void HiveFile::Index(const HiveSnapshot& snapshot, const struct stat& identity) const {
    const UniqueFd lock = RegistryChange::TryLock(Folder());
    struct stat now {};
    if (lock.Valid() && stat(path_.c_str(), &now) == 0 && HiveCache::SameFile(now, identity))
        snapshot.WriteIndex(Temporary(), path_, identity);
}

namespace {
bool SameValues(const std::vector<RegTree::Value>& a, const std::vector<RegTree::Value>& b) {
    if (a.size() != b.size()) return false;
    for (const RegTree::Value& value : b) {
        const RegTree::Value* match = RegTree::FindValue(a, value.name);
        if (match == nullptr || match->type != value.type || match->data != value.data) return false;
    }
    return true;
}
}  // namespace

LSTATUS HiveFile::Prepare(const HiveChange& change, Replacement& out) const {
    if (!change.Modified()) return ERROR_SUCCESS;
    std::string text = HiveDocument::Render(change);
    if (text == change.Base().Bytes()) return ERROR_SUCCESS;
    // What is written must read back: the whole text, and every key the
    // change touched as the change left it (the rest is copied unchanged).
    auto written = HiveSnapshot::Read(std::move(text), rootName_);
    if (written->Refused()) return ERROR_CANTWRITE;
    for (const HiveChange::Touched& key : change.TouchedKeys()) {
        if (written->Exists(key.written) != key.exists) return ERROR_CANTWRITE;
        if (key.exists && !SameValues(written->Values(key.written), change.Values(key.written))) return ERROR_CANTWRITE;
    }
    std::string temp = Temporary();
    UniqueFd file(open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid()) return ERROR_CANTWRITE;
    out.temp_ = std::move(temp);
    // The new version keeps the permissions of the one it replaces.
    struct stat old {};
    if (stat(path_.c_str(), &old) == 0) fchmod(file.Get(), old.st_mode & 07777);
    const std::string& bytes = written->Bytes();
    if (!file.WriteAll(bytes.data(), bytes.size()) || fsync(file.Get()) != 0) return ERROR_CANTWRITE;
    out.file_ = std::move(file);
    out.snapshot_ = std::move(written);
    return ERROR_SUCCESS;
}

std::string HiveFile::Temporary() const {
    static std::atomic<unsigned> counter{0};
    return path_ + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
}

std::string HiveFile::Folder() const {
    const size_t slash = path_.rfind('/');
    return slash == std::string::npos ? "." : path_.substr(0, slash);
}

LSTATUS HiveFile::Install(Replacement& replacement) const {
    if (replacement.Empty()) return ERROR_SUCCESS;
    if (rename(replacement.temp_.c_str(), path_.c_str()) != 0) return ERROR_CANTWRITE;
    replacement.temp_.clear();
    // Still under the lock: the file at the path is the one just written.
    // Its index follows it; a hive too small for one loses the old one.
    struct stat identity {};
    if (fstat(replacement.file_.Get(), &identity) != 0) return ERROR_SUCCESS;
    if (static_cast<uint64_t>(identity.st_size) >= HiveIndex::kMinimumHive)
        replacement.snapshot_->WriteIndex(Temporary(), path_, identity);
    else
        unlink(HiveIndex::PathOf(path_).c_str());
    HiveCache::Instance().Store(path_, std::move(replacement.file_), identity, std::move(replacement.snapshot_));
    return ERROR_SUCCESS;
}

void HiveFile::RemoveLeftovers() const {
    const std::string folder = Folder();
    const std::string lead = path_.substr(path_.rfind('/') + 1) + ".tmp.";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.substr(0, lead.size()) != lead) continue;
        const pid_t owner = TemporaryOwner(name.substr(lead.size()));
        // A process that still runs may own it; ESRCH means none does.
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}
