#include "UniqueFd.h"

#include <unistd.h>

#include <cerrno>

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

bool UniqueFd::WriteAll(const void* data, std::size_t size) const {
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = write(fd_, static_cast<const char*>(data) + done, size - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool UniqueFd::ReadAt(void* data, std::size_t size, std::uint64_t offset) const {
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = pread(fd_, static_cast<char*>(data) + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}
