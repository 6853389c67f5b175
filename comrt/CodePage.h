// The code pages of the runtime: the ANSI, OEM and thread code pages are all
// UTF-8 (65001). Checks arguments and flags as Windows does for each code page
// and converts through Utf.
// Thread-safety: stateless. Failure: the conversion functions answer 0 and set
// the last error (ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS,
// ERROR_INSUFFICIENT_BUFFER, ERROR_NO_UNICODE_TRANSLATION).
#pragma once

#include <comrt/wintypes.h>

class CodePage {
public:
    static constexpr UINT kAnsi = 65001;

    // True for the code pages the runtime converts (all of them UTF-8).
    static bool IsSupported(UINT codePage);
    // True when codePage is named as UTF-8 itself rather than through an
    // alias (ANSI, OEM, thread): those accept only the UTF-8 flags.
    static bool IsExplicitUtf8(UINT codePage);
};
