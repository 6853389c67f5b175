#include <gtest/gtest.h>

#include "sqlite/Utf16Text.h"

namespace {

// Pairs stay as they are; every lone surrogate, wherever it stands, becomes
// U+FFFD and takes nothing after it along.
TEST(Utf16TextTest, ReplacesLoneSurrogatesOnly) {
    const OLECHAR r = 0xFFFD;
    const struct { WString in; WString out; } cases[] = {
        {OLESTR("plain 'text'"), OLESTR("plain 'text'")},
        {OLESTR("pair \U0001F600'"), OLESTR("pair \U0001F600'")},
        {WString(OLESTR("a")) + OLECHAR(0xD83D) + OLESTR("'b"), WString(OLESTR("a")) + r + OLESTR("'b")},
        {WString(OLESTR("a")) + OLECHAR(0xDC00) + OLESTR("'"), WString(OLESTR("a")) + r + OLESTR("'")},
        {WString(OLESTR("end")) + OLECHAR(0xD800), WString(OLESTR("end")) + r},
        {WString(1, OLECHAR(0xDC00)) + OLECHAR(0xD800), WString(2, r)},
        {WString(1, OLECHAR(0xD800)) + OLECHAR(0xD800) + OLECHAR(0xDC00),
         WString(1, r) + OLECHAR(0xD800) + OLECHAR(0xDC00)},
    };
    for (const auto& c : cases) {
        const Utf16Text text(c.in.c_str());
        EXPECT_EQ(WString(text.c_str()), c.out);
    }
    EXPECT_EQ(Utf16Text(nullptr).c_str(), nullptr);
}

}  // namespace
