#include "com/SharedRegistration.h"

// One registry view and one bitness: no other build can be registered.
bool SharedRegistration::OtherBitnessRegistered(const CLSID&, const WString&, bool) noexcept { return false; }
