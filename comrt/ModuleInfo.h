// Loaded modules seen as Windows sees them: an HMODULE is the dynamic
// loader's handle of a shared object or of the executable, and its file name
// is the object's full host path (the executable's from /proc/self/exe).
// Thread-safety: stateless; the dynamic loader serialises itself.
// Failure: empty paths and null handles, with the reason in the last error.
#pragma once

#include <string>

#include <comrt/wintypes.h>

class ModuleInfo {
public:
    // Full path of the running executable; empty when unreadable.
    static std::string ExecutablePath();
    // Full path of a module (null: the executable); empty for an unknown one.
    static std::string PathOf(HMODULE module);
    // The module containing an address; adds a reference unless keepCount.
    static HMODULE Containing(const void* address, bool keepCount);
    // True when two host paths name the same file.
    static bool SameFile(const std::string& a, const std::string& b);
};
