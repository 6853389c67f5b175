// Version resources of modules: a module exports its VS_FIXEDFILEINFO as
// the data symbol ComrtVersionResource (see winbase.h), and the block handed
// to callers is laid out as Windows' VS_VERSIONINFO root: a header with the
// key "VS_VERSION_INFO", then the VS_FIXEDFILEINFO at offset 40.
// Thread-safety: stateless. Failure: Load answers false with a Win32 error.
#pragma once

#include <string>

#include <comrt/winbase.h>

class VersionResource {
public:
    // Size of the block that Build writes.
    static constexpr DWORD kBlockSize = 40 + sizeof(VS_FIXEDFILEINFO);

    // Reads the resource of the module at a Windows or host path.
    static bool Load(LPCWSTR fileName, VS_FIXEDFILEINFO* info, DWORD* error);
    // Writes the block for a resource (kBlockSize bytes).
    static void Build(const VS_FIXEDFILEINFO& info, void* block);
    // The fixed file information inside a block, or null when the block is
    // not one.
    static const VS_FIXEDFILEINFO* Fixed(const void* block);

private:
    // Host path of fileName: host paths and bare library names as they are,
    // drive paths through the prefix's mapping; empty when unmappable.
    static std::string HostPath(LPCWSTR fileName);
};
