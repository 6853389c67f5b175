#include <gtest/gtest.h>

#include <string>

#include "sqlite/Utf8Text.h"

namespace {

TEST(Utf8TextTest, ConvertsBothWaysInsideAndOutsideTheBmp) {
    const struct { const OLECHAR* wide; std::string utf8; } cases[] = {
        {OLESTR("SELECT 1;"), "SELECT 1;"},
        {OLESTR("caf\u00e9 \u20ac"), "caf\xC3\xA9 \xE2\x82\xAC"},
        {OLESTR("\U0001F600'"), "\xF0\x9F\x98\x80'"},
    };
    for (const auto& c : cases) {
        Utf8Text text{WString(c.wide)};
        ASSERT_NE(text.c_str(), nullptr);
        EXPECT_EQ(std::string(text.c_str()), c.utf8);
        EXPECT_EQ(text.size(), c.utf8.size());
        EXPECT_EQ(Utf8Text::ToWide(c.utf8.c_str()), c.wide);
    }
    EXPECT_EQ(Utf8Text(WString()).c_str(), nullptr);  // empty text: no buffer
    EXPECT_EQ(Utf8Text::ToWide(nullptr), WString());
}

// The encoding must give exactly the platform's bytes, lone surrogates
// included (each becomes U+FFFD).
TEST(Utf8TextTest, EncodesAsThePlatformDoes) {
    const WString cases[] = {
        WString(OLESTR("plain ascii\x7F")),
        WString(OLESTR("\u0080\u07FF\u0800\uFFFF")),
        WString(OLESTR("pair \U0010FFFF end")),
        WString(1, OLECHAR(0xD800)),
        WString(OLESTR("x")) + OLECHAR(0xDC00) + OLESTR("y"),
        WString(OLESTR("a")) + OLECHAR(0xDBFF) + OLESTR("b"),
        WString(1, OLECHAR(0xDC00)) + OLECHAR(0xD800),
        WString(OLESTR("end")) + OLECHAR(0xD83D),
    };
    for (const WString& wide : cases) {
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        ASSERT_GT(bytes, 0);
        std::string expected(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), expected.data(), bytes, nullptr,
                            nullptr);
        Utf8Text text(wide);
        EXPECT_EQ(std::string(text.c_str(), text.size()), expected);
        EXPECT_EQ(text.c_str()[text.size()], '\0');
    }
}

}  // namespace
