// obzkit::HresultText: an HRESULT as a client prints it: "S_OK", "S_FALSE",
// or any other code as 0x and eight upper-case hex digits ("0x80020006"),
// the form Windows tools print.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <OBZeveVevuVAD.h>

#include <cstdint>
#include <string>

namespace obzkit {

inline std::string HresultText(HRESULT hr) {
    if (hr == S_OK) return "S_OK";
    if (hr == S_FALSE) return "S_FALSE";
    const auto code = static_cast<std::uint32_t>(hr);
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text.push_back("0123456789ABCDEF"[(code >> shift) & 0xF]);
    return text;
}

}  // namespace obzkit
