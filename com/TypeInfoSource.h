// Where the dispatch side of a dual interface finds its type information:
// interface iid in the registered type library libid, version major.minor,
// whose own locale is libLcid.
//
// The Windows build serves it from the system's OLE Automation
// (LoadRegTypeLib, then the library's GetTypeInfoOfGuid), so that clients
// that need type information, such as those that list an object's members,
// can use the objects. The Linux runtime has no type-library services: there
// Count() is 0 and Get answers E_NOTIMPL.
// Thread-safety: immutable; safe from any thread.
#pragma once

#include "com/Platform.h"

class TypeInfoSource {
public:
    constexpr TypeInfoSource(const GUID& libid, WORD major, WORD minor, LCID libLcid, const IID& iid) noexcept
        : libid_(&libid), iid_(&iid), major_(major), minor_(minor), libLcid_(libLcid) {}

    // How many type infos the interface offers: 1 on Windows, 0 on Linux.
    static UINT Count() noexcept;

    // *typeInfo: the interface's type info, with a reference for the caller.
    // A library not registered for lcid is looked up under its own locale.
    // Failure: *typeInfo null and E_NOTIMPL (Linux), or the HRESULT of
    // loading the library or finding the interface in it.
    HRESULT Get(LCID lcid, ITypeInfo** typeInfo) const noexcept;

private:
    // Read only where the platform has type libraries (Windows).
    [[maybe_unused]] const GUID* libid_;
    [[maybe_unused]] const IID* iid_;
    [[maybe_unused]] WORD major_;
    [[maybe_unused]] WORD minor_;
    [[maybe_unused]] LCID libLcid_;
};
