// Holds an object's lock (ObjectRoot::Lock) for the lifetime of a scope.
#pragma once

#include "com/ObjectRoot.h"
#include "com/ScopedLock.h"

using ObjectLockGuard = ScopedLock<ObjectRoot>;
