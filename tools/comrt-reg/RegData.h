// Registry value types and data as comrt-reg reads and prints them, in
// reg.exe's forms: type names (REG_SZ, ...); data of /d as text, a decimal
// or 0x-hexadecimal number, hex digits, or strings with a separator; data
// printed as text, 0x and lower-case hex digits for numbers, upper-case hex
// digits for bytes, strings joined by \0. Texts are UTF-8 outside, UTF-16
// in the registry.
// Thread-safety: stateless. Failure: Encode answers false with the reason.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <comrt/comrt.h>

class RegData {
public:
    // The type that /t names (compared without case); nullopt for one that
    // comrt-reg does not write.
    static std::optional<DWORD> Type(const std::string& name);
    // The name that a query prints for `type`.
    static std::string TypeName(DWORD type);
    // The bytes to store for /d `text` as `type`; `separator` splits the
    // strings of a REG_MULTI_SZ ("\0" when empty).
    static bool Encode(DWORD type, const std::string& text, const std::string& separator, std::vector<BYTE>& bytes,
                       std::string& error);
    // The data as a query prints it.
    static std::string Show(DWORD type, const std::vector<BYTE>& bytes);

    // UTF-8 to UTF-16 and back; malformed input becomes U+FFFD.
    static std::u16string Wide(const std::string& text);
    static std::string Narrow(const std::u16string& text);
};
