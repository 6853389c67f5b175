#include "com/TypeLibRegistrar.h"

#include <new>

#include "com/RegistryKey.h"

namespace {
// The standard marshalers of automation interfaces.
constexpr const OLECHAR* kAutomationMarshaler = OLESTR("{00020424-0000-0000-C000-000000000046}");
constexpr const OLECHAR* kDispatchMarshaler = OLESTR("{00020420-0000-0000-C000-000000000046}");

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

bool Missing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED; }

HRESULT WriteString(const WString& path, const OLECHAR* name, const WString& value) {
    RegistryKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR)));
    }
    return FromStatus(status);
}

HRESULT DeleteTree(const WString& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return Missing(status) ? S_OK : FromStatus(status);
}
}  // namespace

HRESULT TypeLibRegistrar::Register(const Library& library, const WString& modulePath, bool) noexcept {
    try {
        const WString libId = GuidText(*library.libId);
        const WString version = VersionText(library);
        const WString root = OLESTR("TypeLib\\") + libId + OLESTR("\\") + version;
        const size_t end = modulePath.find_last_of(OLESTR("\\/"));
        const WString helpDir = end == WString::npos ? WString() : modulePath.substr(0, end + 1);
        HRESULT hr = WriteString(root, nullptr, library.description);
        if (SUCCEEDED(hr)) hr = WriteString(root + OLESTR("\\") + Hex(library.lcid) + OLESTR("\\win64"), nullptr, modulePath);
        if (SUCCEEDED(hr)) hr = WriteString(root + OLESTR("\\FLAGS"), nullptr, OLESTR("0"));
        if (SUCCEEDED(hr)) hr = WriteString(root + OLESTR("\\HELPDIR"), nullptr, helpDir);
        for (size_t i = 0; SUCCEEDED(hr) && i < library.interfaces.size(); ++i) {
            const Interface& item = library.interfaces[i];
            const WString key = OLESTR("Interface\\") + GuidText(*item.iid);
            const OLECHAR* marshaler = item.dispatchOnly ? kDispatchMarshaler : kAutomationMarshaler;
            hr = WriteString(key, nullptr, item.name);
            if (SUCCEEDED(hr)) hr = WriteString(key + OLESTR("\\ProxyStubClsid"), nullptr, marshaler);
            if (SUCCEEDED(hr)) hr = WriteString(key + OLESTR("\\ProxyStubClsid32"), nullptr, marshaler);
            if (SUCCEEDED(hr)) hr = WriteString(key + OLESTR("\\TypeLib"), nullptr, libId);
            if (SUCCEEDED(hr)) hr = WriteString(key + OLESTR("\\TypeLib"), OLESTR("Version"), version);
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeLibRegistrar::Unregister(const Library& library, bool) noexcept {
    try {
        const WString libKey = OLESTR("TypeLib\\") + GuidText(*library.libId);
        HRESULT hr = S_OK;
        for (size_t i = 0; SUCCEEDED(hr) && i < library.interfaces.size(); ++i) {
            hr = DeleteTree(OLESTR("Interface\\") + GuidText(*library.interfaces[i].iid));
        }
        if (SUCCEEDED(hr)) hr = DeleteTree(libKey + OLESTR("\\") + VersionText(library));
        if (FAILED(hr)) return hr;
        // The library key goes with its last version.
        RegistryKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return S_OK;
        OLECHAR name[256];
        DWORD length = 256;
        const bool hasVersions =
            RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        key.Reset();
        return hasVersions ? S_OK : DeleteTree(libKey);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
WString TypeLibRegistrar::GuidText(const GUID& guid) {
    OLECHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

WString TypeLibRegistrar::Hex(DWORD value) {
    const OLECHAR* digits = OLESTR("0123456789abcdef");
    WString text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

WString TypeLibRegistrar::VersionText(const Library& library) {
    return Hex(library.major) + OLESTR(".") + Hex(library.minor);
}
