// One block of memory of a RowStore. Small blocks come from the heap; a
// block of kLargeBytes or more is a region of its own from VirtualAlloc.
// The Linux runtime makes such a region present in one call, so that
// filling a result of millions of rows is not dominated by page faults, and
// keeps released ones for the next result; on Windows they are plain
// committed regions.
//
// Ownership: sole owner of its bytes; moving transfers them, destruction
// releases them. Thread-safety: as a plain value.
// Failures: the constructor throws std::bad_alloc and then owns nothing.
#pragma once

#include <cstddef>

class StoreBlock {
public:
    static constexpr std::size_t kLargeBytes = std::size_t{2} << 20;

    explicit StoreBlock(std::size_t bytes);
    ~StoreBlock();
    StoreBlock(StoreBlock&& other) noexcept;
    StoreBlock& operator=(StoreBlock&& other) noexcept;
    StoreBlock(const StoreBlock&) = delete;
    StoreBlock& operator=(const StoreBlock&) = delete;

    unsigned char* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }

private:
    void Free() noexcept;

    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};
