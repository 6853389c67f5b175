// The registry scripts of the module on Windows: REGISTRY resources 101, 106,
// 107 and 108 of this library, stored as 8-bit text and widened once.
#include "server/RegistryScripts.h"

#include <mutex>
#include <new>

namespace {
constexpr UINT kIds[] = {RegistryScripts::kModule, RegistryScripts::kZeveVevuVAD, RegistryScripts::kRecordSet,
                         RegistryScripts::kRecordItem};
constexpr size_t kCount = sizeof(kIds) / sizeof(kIds[0]);

HMODULE ThisModule() noexcept {
    static const int anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&anchor), &module);
    return module;
}

// The widened text of one REGISTRY resource; empty when the module lacks it.
WString Load(HMODULE module, UINT id) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (info == nullptr) return {};
    HGLOBAL handle = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const char* bytes = handle != nullptr ? static_cast<const char*>(LockResource(handle)) : nullptr;
    if (bytes == nullptr || size == 0) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return {};
    WString text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), text.data(), length);
    // A resource may carry trailing zero bytes from its file.
    text.resize(text.find_last_not_of(L'\0') + 1);
    return text;
}

struct Scripts {
    WString texts[kCount];
    bool loaded[kCount] = {};
};
}  // namespace

const OLECHAR* RegistryScripts::Find(UINT id) noexcept {
    static Scripts scripts;
    static std::once_flag once;
    try {
        std::call_once(once, [] {
            const HMODULE module = ThisModule();
            for (size_t i = 0; i < kCount; ++i) {
                scripts.texts[i] = Load(module, kIds[i]);
                scripts.loaded[i] = !scripts.texts[i].empty();
            }
        });
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (size_t i = 0; i < kCount; ++i) {
        if (kIds[i] == id) return scripts.loaded[i] ? scripts.texts[i].c_str() : nullptr;
    }
    return nullptr;
}
