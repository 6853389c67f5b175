#include "VirtualMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include <comrt/winbase.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {
std::size_t RoundUp(std::size_t value, std::size_t unit) { return (value + unit - 1) / unit * unit; }
}  // namespace

VirtualMemory& VirtualMemory::Instance() {
    // Never destroyed: regions may be released from static destructors.
    static VirtualMemory* memory = new VirtualMemory;
    return *memory;
}

void* VirtualMemory::Allocate(std::size_t bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (bytes > SIZE_MAX - page) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const std::size_t length = RoundUp(bytes, page);
    if (length >= kKeptFrom) {
        void* reused = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = kept_.find(length);
            if (found != kept_.end()) {
                reused = found->second;
                kept_.erase(found);
                keptBytes_ -= length;
                try {
                    regions_.emplace(reused, length);
                } catch (...) {
                    munmap(reused, length);
                    reused = nullptr;
                }
            }
        }
        if (reused != nullptr) {
            std::memset(reused, 0, length);  // committed memory reads as zero
            return reused;
        }
    }
    void* start = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Small pages even where the system hands out huge ones unasked; only a
    // hint, which kernels without huge pages refuse.
    madvise(start, length, MADV_NOHUGEPAGE);
    // A committed region is about to be written: its pages are made present
    // in one call rather than one fault each, which on a virtual machine
    // costs microseconds a page. Kernels before 5.14 refuse the request,
    // and the pages then come one fault at a time.
    madvise(start, length, MADV_POPULATE_WRITE);
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        regions_.emplace(start, length);
    } catch (...) {  // the table's node or its lock: no exception leaves the API
        munmap(start, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return start;
}

bool VirtualMemory::Release(void* address) {
    std::size_t length = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = regions_.find(address);
        if (found == regions_.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return false;
        }
        length = found->second;
        regions_.erase(found);
        if (length >= kKeptFrom && keptBytes_ + length <= kKeptBytes) {
            try {
                kept_.emplace(length, address);
                keptBytes_ += length;
                return true;
            } catch (...) {  // no room to keep it: unmapped below
            }
        }
    }
    munmap(address, length);
    return true;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    // The subset the component uses: a new region, reserved and committed
    // at once, readable and writable.
    if (address != nullptr || size == 0 || allocationType != (MEM_RESERVE | MEM_COMMIT) ||
        protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return VirtualMemory::Instance().Allocate(size);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (freeType != MEM_RELEASE || size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return VirtualMemory::Instance().Release(address) ? TRUE : FALSE;
}
