// VirtualAlloc and VirtualFree: the subset the component uses, and what the
// rest answers.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

// Released large regions are kept for the next request of their length: each
// one handed out again must be zeroed, aligned and freed only once.
TEST(VirtualMemoryTest, RegionsAreZeroedWritableAlignedAndFreedOnce) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{100000}, SIZE_T{4} << 20, SIZE_T{4} << 20, (SIZE_T{5} << 20) + 3}) {
        SCOPED_TRACE(size);
        auto* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(bytes, nullptr);
        for (SIZE_T at : {SIZE_T{0}, size / 3, size - 1}) EXPECT_EQ(bytes[at], 0) << at;
        if (size >= (SIZE_T{2} << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % (2u << 20), 0u);
        }
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
