#include "RegistryValueReader.h"

namespace {
struct HiveName {
    const OLECHAR* name;
    HKEY root;
};
}  // namespace

WString RegistryValueReader::Read(const WString& valuePath) {
    static const HiveName hives[] = {
        {OLESTR("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE}, {OLESTR("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
        {OLESTR("HKEY_USERS"), HKEY_USERS},                 {OLESTR("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG},
        {OLESTR("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
    };
    size_t first = valuePath.find(OLESTR('\\'));
    if (first == WString::npos || first == 0) return WString();
    WString hiveName = valuePath.substr(0, first);
    HKEY root = nullptr;
    for (const HiveName& hive : hives)
        if (hiveName == hive.name) root = hive.root;  // case-sensitive on purpose
    if (root == nullptr) return WString();

    WString rest = valuePath.substr(first + 1);
    size_t last = rest.rfind(OLESTR('\\'));
    if (last == WString::npos || last == 0) return WString();
    WString keyPath = rest.substr(0, last);
    WString valueName = rest.substr(last + 1);
    if (valueName.empty()) return WString();

    // The registry's 64-bit view in either bitness of the component: a 32-bit
    // build would otherwise read the WOW6432Node twin first, and its clients
    // would not find the data folder that 64-bit clients use.
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return WString();
    }
    OLECHAR buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer);
    LSTATUS status =
        RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return WString();
    // A value that fills the buffer without a terminator did not fit.
    size_t units = size / sizeof(OLECHAR);
    size_t length = 0;
    while (length < units && buffer[length] != 0) ++length;
    if (length >= MAX_PATH) return WString();
    return WString(buffer, length);
}
