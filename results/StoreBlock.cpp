#include "results/StoreBlock.h"

#include <new>
#include <utility>

#include "com/Platform.h"

StoreBlock::StoreBlock(std::size_t bytes) : size_(bytes) {
    if (bytes >= kLargeBytes) {
        data_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (data_ == nullptr) throw std::bad_alloc();
    } else {
        data_ = new unsigned char[bytes];
    }
}

StoreBlock::~StoreBlock() { Free(); }

StoreBlock::StoreBlock(StoreBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

StoreBlock& StoreBlock::operator=(StoreBlock&& other) noexcept {
    if (this != &other) {
        Free();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void StoreBlock::Free() noexcept {
    if (data_ == nullptr) return;
    if (size_ >= kLargeBytes) {
        VirtualFree(data_, 0, MEM_RELEASE);
    } else {
        delete[] data_;
    }
    data_ = nullptr;
}
