#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

#include "ScratchPrefix.h"

namespace {

std::u16string ToWide(UINT cp, DWORD flags, const std::string& text, int count) {
    const int n = MultiByteToWideChar(cp, flags, text.c_str(), count, nullptr, 0);
    std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'?');
    if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(cp, flags, text.c_str(), count, out.data(), n), n);
    }
    return out;
}

std::string ToNarrow(UINT cp, DWORD flags, const std::u16string& text, int count) {
    const int n = WideCharToMultiByte(cp, flags, text.c_str(), count, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '?');
    if (n > 0) {
        EXPECT_EQ(WideCharToMultiByte(cp, flags, text.c_str(), count, out.data(), n, nullptr, nullptr), n);
    }
    return out;
}

// Without an ACP value or a locale that names another page, ANSI is UTF-8.
TEST(CodePageTest, RoundTripsEveryAnsiAlias) {
    EXPECT_EQ(GetACP(), 65001u);
    const std::u16string wide = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600 end";
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 end";
    for (UINT cp : {0u, 1u, 3u, 65001u}) {
        EXPECT_EQ(ToWide(cp, 0, utf8, static_cast<int>(utf8.size())), wide) << cp;
        EXPECT_EQ(ToNarrow(cp, 0, wide, static_cast<int>(wide.size())), utf8) << cp;
    }
}

// Counts with and without the terminator, buffers too small by a unit.
TEST(CodePageTest, CountsAndBufferSizes) {
    const std::string text = "abc";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), 4);
    EXPECT_EQ(ToWide(CP_UTF8, 0, text, -1), std::u16string(u"abc\0", 4));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, nullptr, 0, nullptr, nullptr), 3);
    // An explicit count converts embedded zeros and adds no terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\0b", 3, nullptr, 0), 3);

    WCHAR wide[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char narrow[3];
    SetLastError(0);
    // U+1F600 is two units in, four bytes out.
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\U0001F600", 2, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePageTest, ChecksArgumentsAndFlags) {
    WCHAR wide[8];
    char narrow[8];
    BOOL used = FALSE;
    struct Case {
        const char* name;
        std::function<int()> call;
        DWORD error;
    };
    const Case cases[] = {
        {"UTF-8 rejects precomposed", [&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"unknown code page", [&] { return MultiByteToWideChar(932, 0, "a", 1, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"single-byte page rejects WC_ERR_INVALID_CHARS",
         [&] { return WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", 1, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"null text", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"null output with size", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 8); },
         ERROR_INVALID_PARAMETER},
        {"precomposed with composite",
         [&] { return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, "a", 1, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"UTF-8 with default char",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, "?", nullptr); }, ERROR_INVALID_PARAMETER},
        {"ANSI rejects the UTF-8 error flag",
         [&] { return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"a", 1, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.call(), 0) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }

    // The ANSI alias takes the flags that ANSI callers habitually pass.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "a", 1, wide, 8), 1);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK | WC_SEPCHARS, u"a", 1, narrow, 8, nullptr, &used), 1);
    EXPECT_FALSE(used);
}

TEST(CodePageTest, InvalidInput) {
    const std::string broken = "a\xFF" "b";
    EXPECT_EQ(ToWide(CP_UTF8, 0, broken, 3), u"a\uFFFDb");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken.c_str(), 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    const std::u16string lone = u"a\xD800" "b";
    EXPECT_EQ(ToNarrow(CP_UTF8, 0, lone, 3), "a\xEF\xBF\xBD" "b");
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.c_str(), 3, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    // The ANSI alias reports and uses the caller's default character.
    char narrow[8] = {};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone.c_str(), 3, narrow, 8, "?", &used), 3);
    EXPECT_EQ(std::string(narrow, 3), "a?b");
    EXPECT_TRUE(used);
}

// The single-byte code pages read and write their own characters, both ways.
TEST(CodePageTest, SingleByteCodePagesConvertBothWays) {
    const struct Case { UINT cp; std::string bytes; std::u16string wide; } cases[] = {
        {1252, "Caf\xE9 \x80", u"Caf\u00e9 \u20ac"}, {1250, "\xB9\xE8", u"\u0105\u010d"},
        {1251, "\xCF\xF0\xE8", u"\u041f\u0440\u0438"}, {1253, "\xC1\xE8", u"\u0391\u03b8"},
        {1254, "\xF0\xFE", u"\u011f\u015f"},          {1255, "\xF9\xEC", u"\u05e9\u05dc"},
        {1256, "\xD3\xE1", u"\u0633\u0644"},          {1257, "\xE0\xF0", u"\u0105\u0161"},
        {1258, "\xE0\xD0", u"\u00e0\u0110"},          {437, "\x82\xB0", u"\u00e9\u2591"},
        {850, "\x82\xD0", u"\u00e9\u00f0"},
        // Bytes the code page leaves undefined: the C1 control of that number
        // in 0x80-0x9F, as Windows reads them.
        {1252, "\x81\x9D", u"\u0081\u009d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        const int count = static_cast<int>(c.bytes.size());
        EXPECT_EQ(ToWide(c.cp, MB_ERR_INVALID_CHARS, c.bytes, count), c.wide);
        EXPECT_EQ(ToNarrow(c.cp, WC_NO_BEST_FIT_CHARS, c.wide, static_cast<int>(c.wide.size())), c.bytes);
    }
}

TEST(CodePageTest, SingleByteDecodingFlags) {
    // Other undefined bytes read as U+FFFD, or fail the strict call.
    EXPECT_EQ(ToWide(1253, 0, "a\xAA", 2), u"a\ufffd");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1253, MB_ERR_INVALID_CHARS, "a\xAA", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // MB_COMPOSITE splits an accented letter into its base and mark.
    EXPECT_EQ(ToWide(1252, MB_COMPOSITE, "\xE9t\xE9", 3), u"e\u0301te\u0301");
    EXPECT_EQ(ToWide(1252, MB_PRECOMPOSED, "\xE9", 1), u"\u00e9");
}

// What WideCharToMultiByte writes for characters a code page lacks: a close
// character unless best fit is off, else the default character, and whether
// the default was used.
TEST(CodePageTest, SingleByteEncodingFallsBackAsWindowsDoes) {
    const struct Case {
        const char* what;
        UINT cp;
        DWORD flags;
        std::u16string wide;
        const char* defaultChar;
        std::string bytes;
        BOOL used;
    } cases[] = {
        {"best fit: base letter", 1252, 0, u"\u0100b", nullptr, "Ab", FALSE},
        {"best fit: Cyrillic base", 1251, 0, u"\u0450", nullptr, "\xE5", FALSE},
        {"best fit: full-width form", 1252, 0, u"\uff21", nullptr, "A", FALSE},
        {"no best fit", 1252, WC_NO_BEST_FIT_CHARS, u"\u0100", nullptr, "?", TRUE},
        {"caller's default", 1252, 0, u"x\u4e2d", "*", "x*", TRUE},
        {"each surrogate", 1252, 0, u"\U0001F600", nullptr, "??", TRUE},
        {"composite check joins", 1252, WC_COMPOSITECHECK, u"e\u0301", nullptr, "\xE9", FALSE},
        {"composite check, separate", 1252, WC_COMPOSITECHECK | WC_SEPCHARS, u"q\u0301", nullptr, "q?", TRUE},
        {"composite check, default", 1252, WC_COMPOSITECHECK | WC_DEFAULTCHAR, u"q\u0301", nullptr, "?", TRUE},
        {"no composite check", 1252, 0, u"e\u0301", nullptr, "e?", TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char out[16] = {};
        BOOL used = 2;
        const int count = static_cast<int>(c.wide.size());
        EXPECT_EQ(WideCharToMultiByte(c.cp, c.flags, c.wide.c_str(), count, nullptr, 0, c.defaultChar, nullptr),
                  static_cast<int>(c.bytes.size()));
        EXPECT_EQ(WideCharToMultiByte(c.cp, c.flags, c.wide.c_str(), count, out, sizeof out, c.defaultChar, &used),
                  static_cast<int>(c.bytes.size()));
        EXPECT_EQ(std::string(out), c.bytes);
        EXPECT_EQ(used, c.used);
    }
}

// The ANSI code page is the prefix's ACP value when it names a code page the
// runtime converts, else the locale's character set; a changed value counts
// at once.
TEST(CodePageTest, AnsiCodePageComesFromTheRegistryElseTheLocale) {
    ScratchPrefix prefix;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const UINT localeDefault = GetACP();
    const struct Case {
        const char16_t* acp;  // null: no value
        UINT expected;
    } cases[] = {
        {u"1252", 1252}, {u"1251", 1251}, {u"437", 437}, {u"65001", 65001},
        {u"932", localeDefault}, {u"12x", localeDefault}, {u"", localeDefault}, {nullptr, localeDefault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        if (c.acp != nullptr) {
            const auto size = static_cast<DWORD>((std::char_traits<char16_t>::length(c.acp) + 1) * 2);
            ASSERT_EQ(RegSetValueExW(key, u"ACP", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.acp), size),
                      ERROR_SUCCESS);
        } else {
            RegDeleteValueW(key, u"ACP");
        }
        EXPECT_EQ(GetACP(), c.expected);
    }
    RegSetValueExW(key, u"ACP", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"1252"), 10);
    RegCloseKey(key);
    EXPECT_EQ(ToWide(CP_ACP, 0, "Caf\xE9", 4), u"Caf\u00e9");
    EXPECT_EQ(ToNarrow(CP_THREAD_ACP, 0, u"\u00e9", 1), "\xE9");
    EXPECT_EQ(ToNarrow(CP_OEMCP, 0, u"\u00e9", 1), "\xE9");  // no OEMCP: the ANSI one
}

TEST(CodePageTest, LocaleCharacterSetGivesTheDefault) {
    const char* saved = std::getenv("LC_ALL");
    const std::string savedText = saved != nullptr ? saved : "";
    const struct Case { const char* locale; UINT expected; } cases[] = {
        {"C.UTF-8", 65001},         {"C", 65001},           {"POSIX", 65001},
        {"de_DE.ISO-8859-1", 1252}, {"ru_RU.KOI8-R", 1251}, {"el_GR.iso88597@x", 1253},
        {"pl_PL.CP1250", 1250},     {"xx_XX.windows-1257", 1257},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        ScratchPrefix prefix;  // read once per prefix: each case gets its own
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(GetACP(), c.expected);
    }
    if (saved != nullptr)
        setenv("LC_ALL", savedText.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

}  // namespace
