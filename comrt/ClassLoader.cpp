#include "ClassLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <new>

#include <comrt/winbase.h>

#include "GlobalInterfaceTable.h"
#include "GuidText.h"
#include "PathMap.h"

namespace {
// A registered CurVer chain longer than this is a loop.
constexpr int kMaxCurVerDepth = 8;

// Owns an open registry key.
class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    PHKEY Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::u16string GuidKeyText(const GUID& guid) {
    OLECHAR text[GuidText::kLength];
    GuidText::Format(guid, text);
    return std::u16string(text);
}

template <typename Function>
HRESULT Guarded(Function function) {
    try {
        return function();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
}  // namespace

ClassLoader& ClassLoader::Instance() {
    // Never destroyed: servers may still be in use during static destruction.
    static ClassLoader* loader = new ClassLoader;
    return *loader;
}

HRESULT ClassLoader::CreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (clsid == CLSID_StdGlobalInterfaceTable) {
        if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return GlobalInterfaceTable::Instance().QueryInterface(riid, ppv);
    }
    void* factory = nullptr;
    HRESULT hr = GetClassObject(clsid, context, IID_IClassFactory, &factory);
    if (FAILED(hr)) return hr;
    auto* classFactory = static_cast<IClassFactory*>(factory);
    hr = classFactory->CreateInstance(outer, riid, ppv);
    classFactory->Release();
    return hr;
}

HRESULT ClassLoader::GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    return Guarded([&]() -> HRESULT {
        std::string hostPath;
        HRESULT hr = ServerPath(clsid, hostPath);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Server* server = nullptr;
        hr = Load(hostPath, server);
        if (FAILED(hr)) return hr;
        return server->getClassObject(clsid, riid, ppv);
    });
}

HRESULT ClassLoader::ClassFromProgId(LPCOLESTR progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    *clsid = GUID_NULL;
    return Guarded([&]() -> HRESULT {
        std::u16string name(progId);
        for (int depth = 0; depth < kMaxCurVerDepth && !name.empty(); ++depth) {
            std::u16string text;
            if (ReadDefault(name + u"\\CLSID", text)) {
                return GuidText::Parse(text.c_str(), clsid) ? S_OK : CO_E_CLASSSTRING;
            }
            std::u16string current;
            if (!ReadDefault(name + u"\\CurVer", current) || current == name) break;
            name = current;
        }
        return CO_E_CLASSSTRING;
    });
}

void ClassLoader::FreeUnusedLibraries() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto it = servers_.begin(); it != servers_.end();) {
        if (it->canUnloadNow != nullptr && it->canUnloadNow() == S_OK) {
            dlclose(it->handle);
            it = servers_.erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT ClassLoader::ServerPath(REFCLSID clsid, std::string& hostPath) {
    std::u16string library;
    if (!ReadDefault(u"CLSID\\" + GuidKeyText(clsid) + u"\\InprocServer32", library) || library.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    // An unmapped drive still yields a path, which then names nothing.
    PathMap::Map(library, hostPath);
    return S_OK;
}

bool ClassLoader::ReadDefault(const std::u16string& path, std::u16string& value) {
    KeyHandle key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::u16string text(size / sizeof(char16_t) + 1, u'\0');
    size = static_cast<DWORD>(text.size() * sizeof(char16_t));
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    text.resize(size / sizeof(char16_t));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    value = std::move(text);
    return true;
}

HRESULT ClassLoader::Load(const std::string& hostPath, Server*& server) {
    server = nullptr;
    for (Server& loaded : servers_) {
        if (loaded.path == hostPath) {
            server = &loaded;
            return S_OK;
        }
    }
    struct stat info;
    if (stat(hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return CO_E_DLLNOTFOUND;
    // RTLD_LOCAL: each server keeps its own symbols, as a Windows DLL does.
    void* handle = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return CO_E_ERRORINDLL;
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    try {
        servers_.push_back(Server{hostPath, handle, getClassObject, canUnloadNow});
    } catch (...) {
        dlclose(handle);
        throw;
    }
    server = &servers_.back();
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD clsctx, REFIID riid, LPVOID* ppv) {
    return ClassLoader::Instance().CreateInstance(rclsid, pUnkOuter, clsctx, riid, ppv);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD clsctx, LPVOID /*reserved*/, REFIID riid, LPVOID* ppv) {
    return ClassLoader::Instance().GetClassObject(rclsid, clsctx, riid, ppv);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID pclsid) {
    return ClassLoader::Instance().ClassFromProgId(progId, pclsid);
}

void CoFreeUnusedLibraries() { ClassLoader::Instance().FreeUnusedLibraries(); }
