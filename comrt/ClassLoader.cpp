#include "ClassLoader.h"

#include "GlobalInterfaceTable.h"

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

HRESULT ClassLoader::GetClassObject(REFCLSID /*clsid*/, DWORD /*context*/, REFIID /*riid*/, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    return REGDB_E_CLASSNOTREG;
}

HRESULT ClassLoader::ClassFromProgId(LPCOLESTR progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    *clsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

void ClassLoader::FreeUnusedLibraries() {}

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
