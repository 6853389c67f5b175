#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

#include "ScratchPrefix.h"

// The test executable's own version resource (exported: ENABLE_EXPORTS).
extern "C" COMRT_API const VS_FIXEDFILEINFO ComrtVersionResource = {
    VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, 0x00010002, 0x00030004, 0x00050006, 0x00070008, VS_FFI_FILEFLAGSMASK,
    0, VOS_NT_WINDOWS32, VFT_APP, 0, 0, 0};

namespace {

std::u16string ModulePath(const void* address) {
    HMODULE module = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(address), &module));
    WCHAR buffer[PATH_MAX];
    const DWORD n = GetModuleFileNameW(module, buffer, PATH_MAX);
    return std::u16string(buffer, n);
}

// Reads the fixed file information the way a component reads its own.
bool ReadVersion(const std::u16string& path, VS_FIXEDFILEINFO* out, DWORD* error) {
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    *error = GetLastError();
    EXPECT_EQ(handle, 0u);
    if (size == 0) return false;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), handle, size, block.data())) return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", &fixed, &length)) return false;
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    // The answer points into the caller's block.
    EXPECT_GE(static_cast<unsigned char*>(fixed), block.data());
    EXPECT_LE(static_cast<unsigned char*>(fixed) + length, block.data() + block.size());
    std::memcpy(out, fixed, sizeof *out);
    return true;
}

// The executable's resource, by its host path and by a drive path that the
// prefix maps to it.
TEST(VersionResourceTest, ReadsTheExecutablesResourceByHostOrDrivePath) {
    ScratchPrefix prefix;
    char root[PATH_MAX];
    ASSERT_GT(ComrtGetPrefix(root, sizeof root), 0u);
    const std::string driveC = std::string(root) + "/drive_c";
    mkdir(driveC.c_str(), 0755);
    const std::u16string self = ModulePath(reinterpret_cast<const void*>(&ReadVersion));
    ASSERT_EQ(symlink(std::string(self.begin(), self.end()).c_str(), (driveC + "/app.exe").c_str()), 0);
    for (const std::u16string& path : {self, std::u16string(u"C:\\app.exe")}) {
        VS_FIXEDFILEINFO info{};
        DWORD error = 0;
        ASSERT_TRUE(ReadVersion(path, &info, &error)) << error;
        EXPECT_EQ(info.dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(HIWORD(info.dwFileVersionMS), 1);
        EXPECT_EQ(LOWORD(info.dwFileVersionMS), 2);
        EXPECT_EQ(HIWORD(info.dwFileVersionLS), 3);
        EXPECT_EQ(LOWORD(info.dwFileVersionLS), 4);
        EXPECT_EQ(info.dwProductVersionLS, 0x00070008u);
    }
}

TEST(VersionResourceTest, MissingResourceOrFile) {
    struct Case { const char* name; std::u16string path; DWORD error; };
    const Case cases[] = {
        // The runtime library carries no resource, and the executable's
        // resource must not be mistaken for its.
        {"library without resource", ModulePath(reinterpret_cast<const void*>(&SysAllocString)),
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"missing file", u"/nonexistent/folder/lib.so", ERROR_FILE_NOT_FOUND},
        {"missing file on a drive", u"C:\\missing.dll", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeW(c.path.c_str(), nullptr), 0u) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        unsigned char block[256];
        EXPECT_FALSE(GetFileVersionInfoW(c.path.c_str(), 0, sizeof block, block)) << c.name;
    }
}

// A block too small is refused; a block that holds no resource answers no
// value.
TEST(VersionResourceTest, BlockChecks) {
    const std::u16string self = ModulePath(reinterpret_cast<const void*>(&ReadVersion));
    const DWORD size = GetFileVersionInfoSizeW(self.c_str(), nullptr);
    std::vector<unsigned char> block(size, 0xAB);
    SetLastError(0);
    EXPECT_FALSE(GetFileVersionInfoW(self.c_str(), 0, size - 1, block.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\", &value, &length));
    ASSERT_TRUE(GetFileVersionInfoW(self.c_str(), 0, size, block.data()));
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length));
}

}  // namespace
