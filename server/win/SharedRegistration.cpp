// The other bitness's registration on Windows: the class key in the other
// view of the registry (KEY_WOW64_32KEY from the 64-bit build,
// KEY_WOW64_64KEY from the 32-bit one). Where the system has one view (a
// 32-bit Windows), both flags name the process's own keys, which name this
// file: that reads as no other registration.
#include "com/SharedRegistration.h"

#include <new>

#include "com/RegistryKey.h"

bool SharedRegistration::OtherBitnessRegistered(const CLSID& clsid, const WString& modulePath,
                                                bool perUser) noexcept {
    constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    try {
        OLECHAR guid[40] = {};
        StringFromGUID2(clsid, guid, 40);
        const WString key = WString(L"Software\\Classes\\CLSID\\") + guid + L"\\InprocServer32";
        RegistryKey server;
        if (RegOpenKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, key.c_str(), 0,
                          KEY_QUERY_VALUE | kOtherView, server.Receive()) != ERROR_SUCCESS) {
            return false;
        }
        OLECHAR path[MAX_PATH + 1] = {};
        DWORD size = sizeof(path) - sizeof(OLECHAR);
        DWORD type = 0;
        if (RegQueryValueExW(server.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return false;
        }
        return path[0] != 0 && CompareStringOrdinal(path, -1, modulePath.c_str(), -1, TRUE) != CSTR_EQUAL;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
