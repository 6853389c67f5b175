#include "com/ModuleLock.h"

LONG volatile ModuleLock::count_ = 0;
