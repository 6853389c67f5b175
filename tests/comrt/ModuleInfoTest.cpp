#include <unistd.h>

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

std::u16string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::u16string(buffer, buffer + n) : std::u16string();
}

std::u16string FileName(HMODULE module) {
    WCHAR buffer[PATH_MAX];
    const DWORD n = GetModuleFileNameW(module, buffer, PATH_MAX);
    return std::u16string(buffer, n);
}

HMODULE ModuleOf(const void* address, DWORD flags = GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) {
    HMODULE module = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags,
                                   reinterpret_cast<LPCWSTR>(address), &module));
    return module;
}

void LocalFunction() {}

TEST(ModuleInfoTest, ModuleFromAddressNamesItsFile) {
    EXPECT_EQ(FileName(nullptr), ExecutablePath());  // the null module is the executable
    EXPECT_EQ(FileName(ModuleOf(reinterpret_cast<const void*>(&LocalFunction))), ExecutablePath());
    const std::u16string runtime = FileName(ModuleOf(reinterpret_cast<const void*>(&SysAllocString)));
    EXPECT_EQ(runtime[0], u'/');
    EXPECT_NE(runtime.find(u"/libcomrt.so.1"), std::u16string::npos);  // the versioned file
    // Without UNCHANGED_REFCOUNT the caller holds a reference to give back.
    EXPECT_TRUE(FreeLibrary(ModuleOf(reinterpret_cast<const void*>(&SysAllocString), 0)));
}

TEST(ModuleInfoTest, FailuresAndTruncationSetLastErrorLikeWindows) {
    HMODULE module = reinterpret_cast<HMODULE>(1);
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(16), &module));
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    WCHAR buffer[5] = {u'x', u'x', u'x', u'x', u'x'};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer), ExecutablePath().substr(0, 4));
}

}  // namespace
