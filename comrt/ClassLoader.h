// Finds class objects for CoCreateInstance and CoGetClassObject, as the
// Windows COM runtime does for in-process servers: the runtime's own classes
// (the Global Interface Table) are served directly; any other class is looked
// up under HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose default
// value names the server library (a Windows path mapped through the prefix's
// drives, or a host path used as it is). Each library is loaded once per
// process and asked for the class object through its DllGetClassObject; it
// stays loaded until FreeUnusedLibraries finds its DllCanUnloadNow answering
// S_OK.
//
// Results: REGDB_E_CLASSNOTREG for a class without an in-process server
// entry (or a context without CLSCTX_INPROC_SERVER); CO_E_DLLNOTFOUND when
// the library file is missing; CO_E_ERRORINDLL when it cannot be loaded or
// lacks DllGetClassObject; otherwise the server's own result.
// Thread-safety: all members are safe from any thread. A server's entry
// points are called under the loader's (recursive) lock, so a library is
// never unloaded while one of them runs.
#pragma once

#include <list>
#include <mutex>
#include <string>

#include <comrt/objbase.h>

class ClassLoader {
public:
    static ClassLoader& Instance();

    // Creates an instance of a class and asks it for riid; the outer unknown
    // goes to the class factory unchanged (aggregation).
    HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
    // The class object (class factory) of a class, asked for riid.
    HRESULT GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** ppv);
    // The class that a ProgID names: HKCR\<progId>\CLSID, else the class of
    // the ProgID that HKCR\<progId>\CurVer names. CO_E_CLASSSTRING when none.
    HRESULT ClassFromProgId(LPCOLESTR progId, CLSID* clsid);
    // Unloads servers whose DllCanUnloadNow answers S_OK.
    void FreeUnusedLibraries();

private:
    using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    using CanUnloadNowFunction = HRESULT (*)();

    // A loaded server library.
    struct Server {
        std::string path;  // host path as loaded
        void* handle = nullptr;
        GetClassObjectFunction getClassObject = nullptr;
        CanUnloadNowFunction canUnloadNow = nullptr;  // may be missing: never unloaded
    };

    ClassLoader() = default;

    // The host path of the class's in-process server.
    static HRESULT ServerPath(REFCLSID clsid, std::string& hostPath);
    // The default string value of HKCR\<path>; false when there is none.
    static bool ReadDefault(const std::u16string& path, std::u16string& value);
    // The loaded server for a host path, loading it on first use. Called
    // under mutex_.
    HRESULT Load(const std::string& hostPath, Server*& server);

    std::recursive_mutex mutex_;
    std::list<Server> servers_;  // stable addresses across nested loads
};
