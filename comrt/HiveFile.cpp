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

#include "HiveCache.h"

namespace {
bool ReadAll(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        text.append(buffer, static_cast<size_t>(got));
    }
}

bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
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

// A document that refuses the file, and says so once (the cache keeps it).
std::shared_ptr<const HiveDocument> Refuse(const std::string& path, HiveDocument document) {
    std::fprintf(stderr, "comrt: cannot read the registry file %s: %s. It is left as it is.\n", path.c_str(),
                 document.Error().c_str());
    return std::make_shared<const HiveDocument>(std::move(document));
}
}  // namespace

HiveFile::Replacement::~Replacement() {
    if (!temp_.empty()) unlink(temp_.c_str());
}

HiveFile::HiveFile(std::string path, std::u16string rootName)
    : path_(std::move(path)), rootName_(std::move(rootName)) {}

HiveFile HiveFile::Machine(const std::string& prefix) { return HiveFile(prefix + "/system.reg", u"HKEY_LOCAL_MACHINE"); }

HiveFile HiveFile::User(const std::string& prefix) { return HiveFile(prefix + "/user.reg", u"HKEY_CURRENT_USER"); }

std::shared_ptr<const HiveDocument> HiveFile::Read() const {
    struct stat current {};
    if (stat(path_.c_str(), &current) != 0) {
        if (errno == ENOENT) return std::make_shared<const HiveDocument>(rootName_);
        return Refuse(path_, HiveDocument::Unreadable(rootName_, std::strerror(errno)));
    }
    if (auto cached = HiveCache::Instance().Find(path_, current)) return cached;
    UniqueFd file(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid() && errno == ENOENT) return std::make_shared<const HiveDocument>(rootName_);
    std::string text;
    if (!file.Valid() || fstat(file.Get(), &current) != 0 || !ReadAll(file.Get(), text))
        return Refuse(path_, HiveDocument::Unreadable(rootName_, std::strerror(errno)));
    HiveDocument parsed = HiveDocument::Parse(text, rootName_);
    auto document = parsed.Refused() ? Refuse(path_, std::move(parsed))
                                     : std::make_shared<const HiveDocument>(std::move(parsed));
    HiveCache::Instance().Store(path_, std::move(file), current, document);
    return document;
}

LSTATUS HiveFile::Prepare(const HiveDocument& base, const RegTree& tree, Replacement& out) const {
    if (tree.SameContent(base.Tree())) return ERROR_SUCCESS;
    const std::string text = base.Render(tree);
    // What is written must read back as exactly this tree.
    auto document = std::make_shared<const HiveDocument>(HiveDocument::Parse(text, rootName_));
    if (document->Refused() || !document->Tree().SameContent(tree)) return ERROR_CANTWRITE;
    static std::atomic<unsigned> counter{0};
    std::string temp = path_ + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
    UniqueFd file(open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid()) return ERROR_CANTWRITE;
    out.temp_ = std::move(temp);
    // The new version keeps the permissions of the one it replaces.
    struct stat old {};
    if (stat(path_.c_str(), &old) == 0) fchmod(file.Get(), old.st_mode & 07777);
    if (!WriteAll(file.Get(), text) || fsync(file.Get()) != 0) return ERROR_CANTWRITE;
    out.file_ = std::move(file);
    out.document_ = std::move(document);
    return ERROR_SUCCESS;
}

LSTATUS HiveFile::Install(Replacement& replacement) const {
    if (replacement.Empty()) return ERROR_SUCCESS;
    if (rename(replacement.temp_.c_str(), path_.c_str()) != 0) return ERROR_CANTWRITE;
    replacement.temp_.clear();
    // Still under the lock: the file at the path is the one just written.
    struct stat identity {};
    if (fstat(replacement.file_.Get(), &identity) == 0)
        HiveCache::Instance().Store(path_, std::move(replacement.file_), identity, std::move(replacement.document_));
    return ERROR_SUCCESS;
}

void HiveFile::RemoveLeftovers() const {
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash);
    const std::string lead = path_.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp.";
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
