// The ANSI and OEM code pages of the runtime, set as on Windows by the values
// ACP and OEMCP (REG_SZ, e.g. "1252") under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Nls\CodePage in the
// prefix's registry. Without a usable ACP, the ANSI code page follows the
// character set of the environment's locale (65001 for UTF-8 and for the C
// locale); without a usable OEMCP, the OEM code page is the ANSI one.
// Cost: the values are read once per prefix and kept while the prefix's
// machine hive stays the same file (one stat per call); the text file reader
// asks once per file, not per line.
// Thread-safety: all members are safe from any thread. Failure: none; an
// unreadable registry counts as no value.
#pragma once

#include <string_view>

#include <comrt/wintypes.h>

class AnsiCodePage {
public:
    static UINT Ansi();
    static UINT Oem();

    // The Windows code page of a C library character set name ("UTF-8",
    // "ISO-8859-1", "CP1251", "KOI8-R", ...); 0 when none fits.
    static UINT FromCharset(std::string_view charset);

private:
    struct Pages {
        UINT ansi;
        UINT oem;
    };
    static Pages Current();
    static Pages Read();
    // A code page number from the registry, when the runtime converts it.
    static UINT RegistryValue(LPCWSTR name);
    static UINT LocaleDefault();
};
