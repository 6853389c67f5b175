#include <unistd.h>

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::u16string FileName(HMODULE module) {
    WCHAR buffer[PATH_MAX];
    const DWORD n = GetModuleFileNameW(module, buffer, PATH_MAX);
    return std::u16string(buffer, n);
}

void LocalFunction() {}

TEST(ModuleInfoTest, ModuleFromAddress) {
    EXPECT_EQ(FileName(nullptr), Wide(ExecutablePath()));  // the null module is the executable
    struct Case {
        const char* name;
        const void* address;
        std::u16string expected;  // the path, or a part of it
    };
    const Case cases[] = {
        {"executable", reinterpret_cast<const void*>(&LocalFunction), Wide(ExecutablePath())},
        {"runtime library", reinterpret_cast<const void*>(&SysAllocString), u"/libcomrt.so.1"},  // the versioned file
    };
    for (const Case& c : cases) {
        HMODULE module = nullptr;
        ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                       reinterpret_cast<LPCWSTR>(c.address), &module))
            << c.name;
        ASSERT_NE(module, nullptr) << c.name;
        const std::u16string name = FileName(module);
        EXPECT_NE(name.find(c.expected), std::u16string::npos) << c.name;
        EXPECT_EQ(name[0], u'/') << c.name;
    }
    // Without UNCHANGED_REFCOUNT the caller holds a reference to give back.
    HMODULE counted = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCWSTR>(&SysAllocString), &counted));
    EXPECT_TRUE(FreeLibrary(counted));
}

TEST(ModuleInfoTest, FailuresSetLastError) {
    HMODULE module = reinterpret_cast<HMODULE>(1);
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(16), &module));
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExW(0, u"libnot-loaded-anywhere.so", &module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ModuleInfoTest, TruncatesLikeWindows) {
    const std::u16string full = Wide(ExecutablePath());
    WCHAR buffer[5] = {u'x', u'x', u'x', u'x', u'x'};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer), full.substr(0, 4));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
