#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

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

TEST(CodePageTest, AnsiIsUtf8) { EXPECT_EQ(GetACP(), 65001u); }

TEST(CodePageTest, RoundTripsEveryAnsiAlias) {
    const std::u16string wide = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600 end";
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 end";
    for (UINT cp : {0u, 1u, 3u, 65001u}) {
        EXPECT_EQ(ToWide(cp, 0, utf8, static_cast<int>(utf8.size())), wide) << cp;
        EXPECT_EQ(ToNarrow(cp, 0, wide, static_cast<int>(wide.size())), utf8) << cp;
    }
}

TEST(CodePageTest, MinusOneCountsTheTerminator) {
    const std::string text = "abc";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), 4);
    const std::u16string wide = ToWide(CP_UTF8, 0, text, -1);
    EXPECT_EQ(wide, std::u16string(u"abc\0", 4));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, nullptr, 0, nullptr, nullptr), 3);
    // An explicit count converts embedded zeros and adds no terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\0b", 3, nullptr, 0), 3);
}

TEST(CodePageTest, TooSmallBufferFails) {
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
        {"unknown code page", [&] { return MultiByteToWideChar(1252, 0, "a", 1, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"null text", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"zero count", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"null output with size", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 8); },
         ERROR_INVALID_PARAMETER},
        {"precomposed with composite",
         [&] { return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, "a", 1, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"UTF-8 with default char",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, "?", nullptr); }, ERROR_INVALID_PARAMETER},
        {"UTF-8 with used-default",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, nullptr, &used); },
         ERROR_INVALID_PARAMETER},
        {"UTF-8 rejects composite check",
         [&] { return WideCharToMultiByte(CP_UTF8, WC_COMPOSITECHECK, u"a", 1, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"ANSI rejects the UTF-8 error flag",
         [&] { return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"a", 1, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"negative output size", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, -1, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
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

}  // namespace
