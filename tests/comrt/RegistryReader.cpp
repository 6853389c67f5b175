#include "RegistryReader.h"

namespace {
void Collect(HKEY key, const std::u16string& prefix, std::set<std::u16string>& keys) {
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
        const std::u16string path = prefix.empty() ? std::u16string(name) : prefix + u"\\" + name;
        keys.insert(path);
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Collect(sub, path, keys);
            RegCloseKey(sub);
        }
    }
}
}  // namespace

std::set<std::u16string> RegistryReader::KeysBelow(HKEY root, const std::u16string& path) {
    std::set<std::u16string> keys;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return keys;
    Collect(key, u"", keys);
    RegCloseKey(key);
    return keys;
}

std::vector<std::u16string> RegistryReader::SubKeys(HKEY root, const std::u16string& path) {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char16_t name[256];
    for (DWORD length = 256; RegEnumKeyExW(key, DWORD(names.size()), name, &length, nullptr, nullptr, nullptr,
                                           nullptr) == ERROR_SUCCESS;
         length = 256)
        names.emplace_back(name, length);
    RegCloseKey(key);
    return names;
}

bool RegistryReader::KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::u16string> RegistryReader::String(HKEY root, const std::u16string& path, const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char16_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(char16_t);
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::u16string(buffer);
}
