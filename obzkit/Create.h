// obzkit::CreateObject: creates an in-process object by ProgID
// ("Ombrel.RecordSet") or by CLSID in braces, and asks it for an interface.
// Answers the HRESULT of CLSIDFromProgID / CLSIDFromString (CO_E_CLASSSTRING
// when the ProgID is not registered) or of CoCreateInstance
// (REGDB_E_CLASSNOTREG, E_NOINTERFACE, ...). *object is null on failure.
#pragma once

#include <OBZeveVevuVAD.h>

namespace obzkit {

inline HRESULT CreateObject(const OLECHAR* progIdOrClsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (progIdOrClsid == nullptr) return CO_E_CLASSSTRING;
    CLSID clsid{};
    const HRESULT hr = progIdOrClsid[0] == OLECHAR('{') ? CLSIDFromString(progIdOrClsid, &clsid)
                                                        : CLSIDFromProgID(progIdOrClsid, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

}  // namespace obzkit
