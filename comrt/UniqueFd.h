// Sole owner of one POSIX file descriptor; closes it on destruction.
// WriteAll and ReadAt move whole buffers, going on after a signal
// interrupts them.
// Thread-safety: as a plain value. Failure: Get() answers -1 when empty;
// WriteAll and ReadAt answer false on an error or a short file.
#pragma once

#include <cstddef>
#include <cstdint>

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Writes all size bytes at the file position.
    bool WriteAll(const void* data, std::size_t size) const;
    // Reads size bytes at offset, all of them or fails.
    bool ReadAt(void* data, std::size_t size, std::uint64_t offset) const;
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};
