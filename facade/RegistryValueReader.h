// Reads the text of one registry value named by a path "HIVE\key\path\name",
// as Connect does to find the install folder, from the registry's 64-bit
// view whatever the bitness of the process (the one view on Linux). Every failure (an unknown or
// differently cased hive name, a malformed path, a missing key or value, a
// value of 260 characters or more) gives the empty text; nothing is logged.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include "com/Platform.h"

class RegistryValueReader {
public:
    static WString Read(const WString& valuePath);
};
