// Allocation of BSTRs with the Windows layout: a 32-bit byte length right
// before the first unit, the units, then a zero unit. Backs the Sys* functions.
// Ownership: a BSTR from Allocate is the caller's and goes back through Free.
// Thread-safety: stateless. Failure: Allocate answers null when memory runs
// out or the length does not fit the 32-bit prefix.
#pragma once

#include <comrt/wintypes.h>

class Bstr {
public:
    // Allocates byteLength bytes of text copied from bytes (zero-filled when
    // bytes is null) followed by two zero bytes.
    static BSTR Allocate(const void* bytes, UINT byteLength);
    // Releases a BSTR from Allocate; null is ignored.
    static void Free(BSTR text);
    // The byte length stored in the prefix; 0 for null.
    static UINT ByteLength(BSTR text);
};
