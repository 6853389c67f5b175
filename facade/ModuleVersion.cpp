#include "ModuleVersion.h"

#include <vector>

#include "com/WideFormat.h"

WString ModuleVersion::Text() {
    const WString unreadable = OLESTR("0.0.0.0");
    // Any address inside this module names the module.
    static const char anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
        return unreadable;
    OLECHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return unreadable;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return unreadable;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return unreadable;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!VerQueryValueW(block.data(), OLESTR("\\"), reinterpret_cast<LPVOID*>(&info), &infoLength) ||
        info == nullptr || infoLength < sizeof(VS_FIXEDFILEINFO))
        return unreadable;
    return WideFormat::Format(OLESTR("%d.%d.%d.%d"),
                              {int(HIWORD(info->dwFileVersionMS)), int(LOWORD(info->dwFileVersionMS)),
                               int(HIWORD(info->dwFileVersionLS)), int(LOWORD(info->dwFileVersionLS))});
}
