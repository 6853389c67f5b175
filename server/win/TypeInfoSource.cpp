// Type information on Windows: from the type library that registration
// recorded for the server, through the system's OLE Automation.
#include "com/TypeInfoSource.h"

UINT TypeInfoSource::Count() noexcept { return 1; }

HRESULT TypeInfoSource::Get(LCID lcid, ITypeInfo** typeInfo) const noexcept {
    *typeInfo = nullptr;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadRegTypeLib(*libid_, major_, minor_, lcid, &library);
    // The library is registered under its own locale; a caller's other
    // locale falls back to it.
    if (FAILED(hr) && lcid != libLcid_) hr = LoadRegTypeLib(*libid_, major_, minor_, libLcid_, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(*iid_, typeInfo);
    library->Release();
    if (FAILED(hr)) *typeInfo = nullptr;
    return hr;
}
