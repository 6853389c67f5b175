// VirtualAlloc and VirtualFree: the subset the component uses, and what the
// rest answers.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

TEST(VirtualMemoryTest, RegionsAreZeroedWritableAndLargeOnesAligned) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{100000}, SIZE_T{2} << 20, (SIZE_T{5} << 20) + 3}) {
        SCOPED_TRACE(size);
        auto* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[size - 1], 0);
        std::memset(bytes, 0xA5, size);
        EXPECT_EQ(bytes[size / 2], 0xA5);
        if (size >= (SIZE_T{2} << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % (2u << 20), 0u);
        }
        EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
    }
}

TEST(VirtualMemoryTest, ALargeRegionHandedOutAgainIsZeroedAndFreedOnce) {
    // Released large regions are kept for the next request of their length.
    const SIZE_T size = SIZE_T{4} << 20;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        auto* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(bytes, nullptr);
        for (SIZE_T at : {SIZE_T{0}, size / 3, size - 1}) EXPECT_EQ(bytes[at], 0) << at;
        std::memset(bytes, 0x5A, size);
        EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
        EXPECT_FALSE(VirtualFree(bytes, 0, MEM_RELEASE));  // kept, yet no longer the caller's
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
    }
}

TEST(VirtualMemoryTest, OtherArgumentsAreRefused) {
    struct Case {
        const char* what;
        LPVOID address;
        SIZE_T size;
        DWORD type;
        DWORD protect;
    };
    int placeholder = 0;
    const Case cases[] = {
        {"size 0", nullptr, 0, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE},
        {"reserve only", nullptr, 4096, MEM_RESERVE, PAGE_READWRITE},
        {"commit only", nullptr, 4096, MEM_COMMIT, PAGE_READWRITE},
        {"a chosen address", &placeholder, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE},
        {"another protection", nullptr, 4096, MEM_RESERVE | MEM_COMMIT, 0x02},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(VirtualAlloc(c.address, c.size, c.type, c.protect), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << c.what;
    }
    SetLastError(0);
    EXPECT_EQ(VirtualAlloc(nullptr, ~SIZE_T{0} - 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(VirtualMemoryTest, FreeTakesARegionStartOnce) {
    auto* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(bytes, nullptr);
    EXPECT_FALSE(VirtualFree(bytes, 8192, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(VirtualFree(bytes, 0, MEM_DECOMMIT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(VirtualFree(bytes + 4096, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
    EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
    EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
}

}  // namespace
