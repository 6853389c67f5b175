// Type-library registration on Windows: the system's OLE Automation writes the
// TypeLib and Interface keys from the library embedded in the server file.
// Per-user registration uses RegisterTypeLibForUser / UnRegisterTypeLibForUser
// of OLEAUT32.DLL when the system has them, else the machine-wide functions.
#include "com/TypeLibRegistrar.h"

#include <new>

namespace {
// The platform that this build's library is compiled for (widl --win32 or
// --win64): registration names its path key after it ("win32" or "win64"),
// so that the two bitnesses' registrations stand side by side.
constexpr SYSKIND kPlatform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

using RegisterForUser = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterForUser = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// An export of OLEAUT32.DLL by name; null when the module or the function is
// missing.
template <class Function>
Function OleAutFunction(const char* name) noexcept {
    HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
    if (oleaut == nullptr) return nullptr;
    // Through a generic function pointer: FARPROC's signature is a placeholder.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(oleaut, name)));
}

// The help folder of a library: its help file's path up to and including
// the last "\", "/" or ":"; empty when it names no help file.
WString HelpDirectory(ITypeLib* typeLib) {
    BSTR helpFile = nullptr;
    WString dir;
    if (SUCCEEDED(typeLib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) && helpFile != nullptr) {
        dir = helpFile;
        const size_t end = dir.find_last_of(L"\\/:");
        dir.resize(end == WString::npos ? 0 : end + 1);
    }
    SysFreeString(helpFile);
    return dir;
}
}  // namespace

HRESULT TypeLibRegistrar::Register(const Library&, const WString& modulePath, bool perUser) noexcept {
    ITypeLib* typeLib = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &typeLib);
    if (FAILED(hr)) return hr;
    try {
        WString helpDir = HelpDirectory(typeLib);
        WString path = modulePath;
        OLECHAR* dir = helpDir.empty() ? nullptr : helpDir.data();
        const auto forUser = perUser ? OleAutFunction<RegisterForUser>("RegisterTypeLibForUser") : nullptr;
        hr = forUser != nullptr ? forUser(typeLib, path.data(), dir) : RegisterTypeLib(typeLib, path.data(), dir);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    typeLib->Release();
    return hr;
}

HRESULT TypeLibRegistrar::Unregister(const Library& library, bool perUser) noexcept {
    const auto forUser = perUser ? OleAutFunction<UnregisterForUser>("UnRegisterTypeLibForUser") : nullptr;
    return forUser != nullptr
               ? forUser(*library.libId, library.major, library.minor, library.lcid, kPlatform)
               : UnRegisterTypeLib(*library.libId, library.major, library.minor, library.lcid, kPlatform);
}
