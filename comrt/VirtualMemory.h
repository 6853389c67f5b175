// The regions that VirtualAlloc hands out: anonymous private mappings,
// readable and writable, zero-filled, made present in one call rather than
// one page fault per page. They stay in small pages whatever the system's
// transparent huge-page setting: a huge page is a free 2 MiB block, which a
// virtual machine that takes free memory back from its guest (free page
// reporting works on such blocks) has to back again on the first write, at
// several milliseconds a block; small pages come from memory the system has
// in use, so the cost of a region does not depend on where it lands.
// VirtualFree releases a region by its start address, as MEM_RELEASE does.
// Released regions of 2 MiB and more, up to kKeptBytes in all, are kept
// mapped and handed out again, zeroed, for a request of the same length: a
// process that fills one large result after another then writes pages that
// are already present, instead of paying a fault for each page again (on a
// virtual machine, microseconds a page).
// Thread-safety: all members are safe from any thread.
// Failure: Allocate answers null (and sets the last error to
// ERROR_NOT_ENOUGH_MEMORY); Release answers false for an address that no
// region starts at (ERROR_INVALID_ADDRESS).
#pragma once

#include <cstddef>
#include <map>
#include <mutex>

class VirtualMemory {
public:
    static constexpr std::size_t kKeptFrom = std::size_t{2} << 20;
    static constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

    static VirtualMemory& Instance();

    void* Allocate(std::size_t bytes);
    bool Release(void* address);

private:
    std::mutex mutex_;
    std::map<void*, std::size_t> regions_;  // start -> mapped length
    std::multimap<std::size_t, void*> kept_;  // released: length -> start
    std::size_t keptBytes_ = 0;
};
