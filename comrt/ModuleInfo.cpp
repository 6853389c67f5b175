#include "ModuleInfo.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include <comrt/winbase.h>

#include "Utf.h"

namespace {
std::string RealPath(const char* path) {
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr) return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}
}  // namespace

std::string ModuleInfo::ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::string ModuleInfo::PathOf(HMODULE module) {
    if (module == nullptr) return ExecutablePath();
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
    // The executable's entry has an empty name.
    if (map->l_name == nullptr || map->l_name[0] == 0) return ExecutablePath();
    return RealPath(map->l_name);
}

HMODULE ModuleInfo::Containing(const void* address, bool keepCount) {
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr) {
        return nullptr;
    }
    const char* name = (map->l_name != nullptr && map->l_name[0] != 0) ? map->l_name : nullptr;
    void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr && keepCount) {
        // The object stays loaded because the address lies in it; only the
        // reference that dlopen just took goes back.
        dlclose(handle);
    }
    return static_cast<HMODULE>(handle);
}

bool ModuleInfo::SameFile(const std::string& a, const std::string& b) {
    struct stat sa;
    struct stat sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (fileName == nullptr && size > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string path = ModuleInfo::PathOf(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string wide = Utf::ToUtf16(path);
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (wide.size() < size) {
        std::memcpy(fileName, wide.data(), wide.size() * sizeof(WCHAR));
        fileName[wide.size()] = 0;
        return static_cast<DWORD>(wide.size());
    }
    // Truncated but terminated, and the full buffer size is answered.
    std::memcpy(fileName, wide.data(), (size - 1) * sizeof(WCHAR));
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
    constexpr DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    const bool keepCount = (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0;
    const bool pin = (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0;
    if (module == nullptr || (flags & ~known) != 0 || (pin && keepCount)) {
        if (module != nullptr) *module = nullptr;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    HMODULE found = nullptr;
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        found = ModuleInfo::Containing(moduleName, keepCount);
    } else {
        const std::string name = moduleName == nullptr ? std::string() : Utf::ToUtf8(moduleName);
        found = static_cast<HMODULE>(dlopen(moduleName == nullptr ? nullptr : name.c_str(), RTLD_LAZY | RTLD_NOLOAD));
        if (found != nullptr && keepCount) dlclose(found);
    }
    if (found == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (pin) {
        // RTLD_NODELETE on an open object keeps it loaded for good.
        const std::string path = ModuleInfo::PathOf(found);
        void* pinned = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        if (pinned != nullptr) dlclose(pinned);
    }
    *module = found;
    return TRUE;
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
