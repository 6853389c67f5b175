// Reads registry keys and values back for the registry and registration tests.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include <comrt/comrt.h>

class RegistryReader {
public:
    // Every key below root\path, as paths relative to it; empty when missing.
    static std::set<std::u16string> KeysBelow(HKEY root, const std::u16string& path);
    // The names of the keys right below root\path, in the order the registry
    // lists them.
    static std::vector<std::u16string> SubKeys(HKEY root, const std::u16string& path);
    static bool KeyExists(HKEY root, const std::u16string& path);
    // A REG_SZ value (null name: the default value); nullopt when missing.
    static std::optional<std::u16string> String(HKEY root, const std::u16string& path, const char16_t* name = nullptr);
};
