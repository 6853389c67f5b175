// The registry text form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}":
// formatting (upper-case hex) and strict parsing (hex in any case, braces
// required, nothing after the closing brace).
// Thread-safety: stateless.
#pragma once

#include <comrt/wintypes.h>

class GuidText {
public:
    // Units of the text form including the terminating zero.
    static constexpr int kLength = 39;

    // Writes the text form and a terminator into buffer (kLength units).
    static void Format(const GUID& guid, OLECHAR* buffer);
    // Parses the text form; false when text is not exactly that form.
    static bool Parse(const OLECHAR* text, GUID* guid);
};
