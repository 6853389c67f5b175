// Finds class objects for CoCreateInstance and CoGetClassObject. Serves the
// runtime's own classes (the Global Interface Table); classes of in-process
// servers named in the registry are not loaded yet and answer
// REGDB_E_CLASSNOTREG.
// Thread-safety: all members are safe from any thread.
#pragma once

#include <comrt/objbase.h>

class ClassLoader {
public:
    static ClassLoader& Instance();

    // Creates an instance of a class and asks it for riid.
    HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
    // The class object (class factory) of a class, asked for riid.
    HRESULT GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** ppv);
    // The class that a ProgID names.
    HRESULT ClassFromProgId(LPCOLESTR progId, CLSID* clsid);
    // Unloads servers that answer that they can be unloaded.
    void FreeUnusedLibraries();

private:
    ClassLoader() = default;
};
