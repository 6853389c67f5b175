// VirtualAlloc and VirtualFree: the subset the component uses, and what the
// rest answers.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

// What /proc/self/smaps says of the mapping that holds address: its
// transparent huge pages and whether it may get any (-1 where the kernel
// does not say).
struct Mapping {
    long hugeKiB = -1;
    int thpEligible = -1;
};

Mapping MappingOf(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    Mapping mapping;
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &start, &end) == 2) {  // a mapping's first line
            inside = start <= at && at < end;
        } else if (inside) {
            std::sscanf(line.c_str(), "AnonHugePages: %ld kB", &mapping.hugeKiB);
            std::sscanf(line.c_str(), "THPeligible: %d", &mapping.thpEligible);
        }
    }
    return mapping;
}

// A region is present as soon as VirtualAlloc answers, and in small pages
// whatever the system's huge-page setting: a huge page is a fresh 2 MiB block,
// which a virtual machine may have to back again before its first write.
// Released large regions are kept for the next request of their length: each
// one handed out again must be zeroed and freed only once.
TEST(VirtualMemoryTest, RegionsArePresentInSmallPagesZeroedAndFreedOnce) {
    const auto page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{100000}, SIZE_T{4} << 20, SIZE_T{4} << 20, (SIZE_T{5} << 20) + 3}) {
        SCOPED_TRACE(size);
        auto* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(bytes, nullptr);
        std::vector<unsigned char> resident((size + page - 1) / page);
        ASSERT_EQ(mincore(bytes, size, resident.data()), 0);
        EXPECT_TRUE(std::all_of(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; }));
        const Mapping mapping = MappingOf(bytes);
        EXPECT_EQ(mapping.hugeKiB, 0);
        if (mapping.thpEligible != -1) {
            EXPECT_EQ(mapping.thpEligible, 0);
        }
        for (SIZE_T at : {SIZE_T{0}, size / 3, size - 1}) EXPECT_EQ(bytes[at], 0) << at;
        std::memset(bytes, 0xA5, size);
        if (size > 4096) {
            EXPECT_FALSE(VirtualFree(bytes + 4096, 0, MEM_RELEASE));  // not a region start
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
        }
        EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
        EXPECT_FALSE(VirtualFree(bytes, 0, MEM_RELEASE));  // kept, yet no longer the caller's
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
    }
}

TEST(VirtualMemoryTest, OtherArgumentsAreRefused) {
    int placeholder = 0;
    const struct { const char* what; LPVOID address; SIZE_T size; DWORD type, protect, error; } cases[] = {
        {"size 0", nullptr, 0, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {"reserve only", nullptr, 4096, MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {"a chosen address", &placeholder, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {"another protection", nullptr, 4096, MEM_RESERVE | MEM_COMMIT, 0x02, ERROR_INVALID_PARAMETER},
        {"too large", nullptr, ~SIZE_T{0} - 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(VirtualAlloc(c.address, c.size, c.type, c.protect), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    void* bytes = VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    EXPECT_FALSE(VirtualFree(bytes, 8192, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(bytes, 0, MEM_DECOMMIT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
}

}  // namespace
