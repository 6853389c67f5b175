// Registers and unregisters a server's type library: the keys that make the
// library and its interfaces known to automation clients.
//
// Under HKEY_CLASSES_ROOT (or the user's classes while ClassesRootOverride is
// applied):
//   TypeLib\{libid}\<major>.<minor>            = description
//   TypeLib\{libid}\<major>.<minor>\<lcid>\win64 = the server file's path
//   TypeLib\{libid}\<major>.<minor>\FLAGS      = "0"
//   TypeLib\{libid}\<major>.<minor>\HELPDIR    = the server file's folder
//   Interface\{iid}                            = interface name
//   Interface\{iid}\ProxyStubClsid, \ProxyStubClsid32
//       = {00020424-...} (automation marshaler) for dual interfaces,
//         {00020420-...} (dispatch marshaler) for dispinterfaces
//   Interface\{iid}\TypeLib = {libid}, value Version = "<major>.<minor>"
// <lcid> is hexadecimal without leading zeros. This file writes the keys from
// the description below (the Linux build); the Windows build implements the
// same two functions with the system's type-library registration, which
// writes them from the library embedded in the server file.
// Unregistration removes the version key, the library key when no other
// version remains, and the interface keys; missing keys count as removed.
// Thread-safety: stateless. Failure: the HRESULT of the first failing call.
#pragma once

#include <span>

#include "com/Platform.h"

class TypeLibRegistrar {
public:
    struct Interface {
        const IID* iid;
        const OLECHAR* name;
        bool dispatchOnly;  // a dispinterface rather than a dual interface
    };
    struct Library {
        const GUID* libId;
        WORD major;
        WORD minor;
        LCID lcid;
        const OLECHAR* description;
        std::span<const Interface> interfaces;
    };

    // modulePath: full path of the file that holds the library.
    static HRESULT Register(const Library& library, const WString& modulePath, bool perUser) noexcept;
    static HRESULT Unregister(const Library& library, bool perUser) noexcept;

private:
    static WString GuidText(const GUID& guid);
    static WString Hex(DWORD value);
    static WString VersionText(const Library& library);
};
