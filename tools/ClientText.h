// Conversions between the client programs' UTF-8 text and the component's
// UTF-16 text, through the platform's code-page functions (the shell, the
// example client and their event sink base).
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>
#include <string_view>

using OleString = std::basic_string<OLECHAR>;

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
OleString ToOle(std::string_view utf8);
// UTF-16 to UTF-8; a null text gives the empty string.
std::string ToUtf8(const OLECHAR* text, size_t length);
// A BSTR (null reads as empty) to UTF-8.
std::string BstrToUtf8(BSTR text);
