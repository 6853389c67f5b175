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
    // Room for rounding up to a page and for the alignment slack.
    if (bytes > SIZE_MAX - 2 * kHugePage) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const std::size_t length = RoundUp(bytes, page);
    const bool huge = length >= kHugePage;
    if (huge) {
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
    // A huge region is mapped one huge page longer, then trimmed to start on
    // a huge-page boundary.
    const std::size_t mapped = huge ? length + kHugePage : length;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* start = static_cast<unsigned char*>(base);
    if (huge) {
        const auto at = reinterpret_cast<std::uintptr_t>(start);
        const std::size_t head = RoundUp(at, kHugePage) - at;
        if (head > 0) munmap(start, head);
        const std::size_t tail = mapped - head - length;
        if (tail > 0) munmap(start + head + length, tail);
        start += head;
        // Only a hint: without huge pages the region works the same.
        madvise(start, length, MADV_HUGEPAGE);
    }
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
        if (length >= kHugePage && keptBytes_ + length <= kKeptBytes) {
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
