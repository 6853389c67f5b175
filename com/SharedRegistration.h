// Whether this server's classes are also registered by its build for the
// other bitness. On 64-bit Windows a 32-bit and a 64-bit build of one server
// share the ProgID keys, the type library's version key and the interface
// keys, while each has its own class keys (in its own view of the registry)
// and its own path key under the type library; unregistering one build must
// leave the shared keys to the other.
//
// The other build counts as registered when the class key in the other view
// of the same classes root (the user's classes for a per-user registration,
// else the machine's) names an in-process server file other than
// `modulePath`. The Linux runtime has one view of the registry and one
// bitness: there the answer is always false. The Windows build implements
// the same function over the registry's 32-bit and 64-bit views.
// Thread-safety: stateless. Nothing fails: an unreadable key counts as no
// registration.
#pragma once

#include "com/Platform.h"

class SharedRegistration {
public:
    static bool OtherBitnessRegistered(const CLSID& clsid, const WString& modulePath, bool perUser) noexcept;
};
