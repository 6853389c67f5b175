#include <malloc.h>

#include <cstring>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

DWORD PrefixOf(BSTR b) {
    DWORD length = 0;
    std::memcpy(&length, reinterpret_cast<const char*>(b) - sizeof(DWORD), sizeof length);
    return length;
}

TEST(BstrTest, LayoutHasBytePrefixAndZeroUnit) {
    struct Case { const char16_t* text; UINT units; };
    const Case cases[] = {{u"", 0}, {u"a", 1}, {u"hello", 5}, {u"a\0b", 3}, {u"\U0001F600x", 3}};
    for (const Case& c : cases) {
        BSTR b = SysAllocStringLen(c.text, c.units);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(PrefixOf(b), c.units * 2);
        EXPECT_EQ(SysStringLen(b), c.units);
        EXPECT_EQ(SysStringByteLen(b), c.units * 2);
        EXPECT_EQ(std::memcmp(b, c.text, c.units * 2), 0);
        EXPECT_EQ(b[c.units], u'\0');
        SysFreeString(b);
    }
}

// Null text, lengths that stop at a terminator, odd byte lengths and
// impossible lengths.
TEST(BstrTest, EdgeLengthsAndNullInputs) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    BSTR stopped = SysAllocString(u"ab\0cd");
    EXPECT_EQ(SysStringLen(stopped), 2u);
    SysFreeString(stopped);
    BSTR zeroed = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 4u);
    EXPECT_EQ(std::u16string_view(zeroed, 5), std::u16string_view(u"\0\0\0\0\0", 5));
    SysFreeString(zeroed);
    BSTR odd = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    EXPECT_EQ(std::memcmp(odd, "abc\0\0", 5), 0);
    SysFreeString(odd);
}

TEST(BstrTest, ReusedStringsFitTheirTextWhateverTheSizesBefore) {
    // Freed strings are handed out again: every size, odd byte lengths
    // included, in rising and then falling order, must get a block that
    // holds its prefix, text and terminator.
    std::vector<UINT> lengths;
    for (UINT bytes = 0; bytes <= 160; ++bytes) lengths.push_back(bytes);
    for (UINT bytes = 160; bytes-- > 0;) lengths.push_back(bytes);
    std::vector<char> text(160, 'x');
    for (int round = 0; round < 3; ++round) {
        std::vector<BSTR> held;
        for (UINT bytes : lengths) {
            BSTR b = SysAllocStringByteLen(text.data(), bytes);
            ASSERT_NE(b, nullptr);
            EXPECT_GE(malloc_usable_size(reinterpret_cast<char*>(b) - sizeof(DWORD)), sizeof(DWORD) + bytes + 2 + bytes % 2)
                << bytes;
            EXPECT_EQ(SysStringByteLen(b), bytes);
            EXPECT_EQ(std::memcmp(b, text.data(), bytes), 0);
            const auto* end = reinterpret_cast<const unsigned char*>(b) + bytes;
            EXPECT_EQ(end[0] | end[1], 0) << bytes;
            if (bytes % 3 == 0) {
                SysFreeString(b);  // back to the cache at once
            } else {
                held.push_back(b);
            }
        }
        for (BSTR b : held) SysFreeString(b);
    }
}

}  // namespace
