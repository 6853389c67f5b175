#include "com/Registrar.h"

#include <new>

#include "com/RegistryKey.h"

namespace {
HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

bool Missing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED; }

// Deletes a key with its subkeys; a missing key is no failure.
HRESULT DeleteTree(HKEY parent, const WString& name) {
    const LSTATUS status = RegDeleteTreeW(parent, name.c_str());
    return Missing(status) ? S_OK : FromStatus(status);
}
}  // namespace

HRESULT Registrar::AddReplacement(LPCOLESTR name, LPCOLESTR value) noexcept {
    if (name == nullptr || value == nullptr) return E_INVALIDARG;
    try {
        replacements_[WString(name)] = value;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Registrar::ClearReplacements() noexcept {
    replacements_.clear();
    return S_OK;
}

HRESULT Registrar::StringRegister(LPCOLESTR script) noexcept { return Run(script, true); }

HRESULT Registrar::StringUnregister(LPCOLESTR script) noexcept { return Run(script, false); }

HRESULT Registrar::Run(LPCOLESTR script, bool reg) noexcept {
    try {
        std::vector<RegistryScript::Root> roots;
        HRESULT hr = RegistryScript::Parse(script, replacements_, roots);
        for (size_t r = 0; SUCCEEDED(hr) && r < roots.size(); ++r) {
            for (size_t k = 0; SUCCEEDED(hr) && k < roots[r].keys.size(); ++k) {
                hr = reg ? RegisterKey(roots[r].root, roots[r].keys[k]) : UnregisterKey(roots[r].root, roots[r].keys[k]);
            }
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT Registrar::RegisterKey(HKEY parent, const RegistryScript::Key& key) {
    using Flag = RegistryScript::Flag;
    if (key.flag == Flag::ForceRemove || key.flag == Flag::Delete) {
        const HRESULT hr = DeleteTree(parent, key.name);
        if (FAILED(hr) || key.flag == Flag::Delete) return hr;
    }
    RegistryKey created;
    HRESULT hr = FromStatus(RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_READ | KEY_WRITE, nullptr, created.Receive(), nullptr));
    for (size_t i = 0; SUCCEEDED(hr) && i < key.values.size(); ++i) hr = SetValue(created.Get(), key.values[i]);
    for (size_t i = 0; SUCCEEDED(hr) && i < key.subKeys.size(); ++i) hr = RegisterKey(created.Get(), key.subKeys[i]);
    return hr;
}

HRESULT Registrar::UnregisterKey(HKEY parent, const RegistryScript::Key& key) {
    using Flag = RegistryScript::Flag;
    if (key.flag == Flag::ForceRemove || key.flag == Flag::Delete) return DeleteTree(parent, key.name);
    RegistryKey opened;
    const LSTATUS status =
        RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, opened.Receive());
    if (Missing(status)) return S_OK;
    HRESULT hr = FromStatus(status);
    for (size_t i = 0; SUCCEEDED(hr) && i < key.subKeys.size(); ++i) hr = UnregisterKey(opened.Get(), key.subKeys[i]);
    if (FAILED(hr) || key.flag == Flag::NoRemove) return hr;
    for (const RegistryScript::Value& value : key.values) {
        if (value.name.empty()) continue;  // goes with the key
        const LSTATUS deleted = RegDeleteValueW(opened.Get(), value.name.c_str());
        if (deleted != ERROR_SUCCESS && !Missing(deleted)) return FromStatus(deleted);
    }
    // Subkeys that the script does not name belong to someone else.
    OLECHAR name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(opened.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        return S_OK;
    }
    opened.Reset();
    const LSTATUS deleted = RegDeleteKeyW(parent, key.name.c_str());
    return Missing(deleted) ? S_OK : FromStatus(deleted);
}

HRESULT Registrar::SetValue(HKEY key, const RegistryScript::Value& value) {
    const OLECHAR* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == REG_DWORD) {
        return FromStatus(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                         sizeof(DWORD)));
    }
    return FromStatus(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                     static_cast<DWORD>((value.text.size() + 1) * sizeof(OLECHAR))));
}
