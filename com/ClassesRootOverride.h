// The per-user registration switch: while an instance is applied,
// HKEY_CLASSES_ROOT names the current user's HKEY_CURRENT_USER\Software\Classes
// for the whole process, so that registry scripts and type-library keys land
// in the user's classes instead of the machine's. The destructor restores the
// default view.
// Thread-safety: the override is process-wide; apply it from one thread at a
// time (registration is not concurrent within a process).
#pragma once

#include "com/RegistryKey.h"

class ClassesRootOverride {
public:
    ClassesRootOverride() noexcept = default;
    ~ClassesRootOverride();
    ClassesRootOverride(const ClassesRootOverride&) = delete;
    ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;

    // Opens (creating if needed) the user's classes key and redirects
    // HKEY_CLASSES_ROOT to it. S_OK, or the HRESULT of the failing registry call.
    HRESULT Apply() noexcept;

private:
    RegistryKey userClasses_;
    bool applied_ = false;
};
