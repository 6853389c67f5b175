// The component's version resource on Linux: the runtime reads a module's
// file version from this exported symbol, as Windows reads VERSIONINFO.
#include <comrt/comrt.h>

extern "C" COMRT_API const VS_FIXEDFILEINFO ComrtVersionResource = {
    VS_FFI_SIGNATURE,
    VS_FFI_STRUCVERSION,
    (DWORD(OBZ_VERSION_MAJOR) << 16) | DWORD(OBZ_VERSION_MINOR),
    (DWORD(OBZ_VERSION_PATCH) << 16) | DWORD(OBZ_VERSION_BUILD),
    (DWORD(OBZ_VERSION_MAJOR) << 16) | DWORD(OBZ_VERSION_MINOR),
    (DWORD(OBZ_VERSION_PATCH) << 16) | DWORD(OBZ_VERSION_BUILD),
    VS_FFI_FILEFLAGSMASK,
    0,
    VOS_NT_WINDOWS32,
    VFT_DLL,
    0,
    0,
    0,
};
