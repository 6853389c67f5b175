#include "LongPathAlias.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

LongPathAlias::~LongPathAlias() { Close(); }

void LongPathAlias::Close() {
    if (folder_ >= 0) close(folder_);
    folder_ = -1;
    name_.clear();
}

bool LongPathAlias::Open(const std::string& path) {
    Close();
    const size_t slash = path.rfind('/');
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty()) {
        errno = EISDIR;
        return false;
    }
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // O_PATH: the descriptor only names the folder; it needs no read right.
    folder_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) return false;
    name_ = "/proc/self/fd/" + std::to_string(folder_) + "/" + leaf;
    return true;
}
