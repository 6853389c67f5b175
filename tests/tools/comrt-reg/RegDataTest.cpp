#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/comrt-reg/RegData.h"

namespace {
using Bytes = std::vector<BYTE>;

// /d `text` as `type` stored and printed back; "!" and the reason when refused.
std::string RoundTrip(DWORD type, const std::string& text, const std::string& separator = "") {
    Bytes bytes;
    std::string error;
    if (!RegData::Encode(type, text, separator, bytes, error)) return "!" + error;
    return RegData::Show(type, bytes);
}

TEST(RegData, DataReadAndPrintedInReg_exeForms) {
    EXPECT_EQ(RoundTrip(REG_SZ, "caf\xc3\xa9 \\0 x"), "caf\xc3\xa9 \\0 x");
    EXPECT_EQ(RoundTrip(REG_EXPAND_SZ, "%TEMP%"), "%TEMP%");
    EXPECT_EQ(RoundTrip(REG_MULTI_SZ, "a\\0b\\0"), "a\\0b");
    EXPECT_EQ(RoundTrip(REG_MULTI_SZ, "a|b", "|"), "a\\0b");
    EXPECT_EQ(RoundTrip(REG_DWORD, "42"), "0x2a");
    EXPECT_EQ(RoundTrip(REG_DWORD, "0xFFFFFFFF"), "0xffffffff");
    EXPECT_EQ(RoundTrip(REG_DWORD, ""), "0x0");
    EXPECT_EQ(RoundTrip(REG_QWORD, "18446744073709551615"), "0xffffffffffffffff");
    EXPECT_EQ(RoundTrip(REG_BINARY, "0a0BfF"), "0A0BFF");
    EXPECT_EQ(RoundTrip(REG_NONE, "abc"), "0ABC");
    EXPECT_EQ(RoundTrip(REG_DWORD, "4294967296").substr(0, 1), "!");
    EXPECT_EQ(RoundTrip(REG_DWORD, "-1").substr(0, 1), "!");
    EXPECT_EQ(RoundTrip(REG_QWORD, "0x").substr(0, 1), "!");
    EXPECT_EQ(RoundTrip(REG_BINARY, "0x01").substr(0, 1), "!");

    Bytes bytes;
    std::string error;
    ASSERT_TRUE(RegData::Encode(REG_SZ, "ab", "", bytes, error));
    EXPECT_EQ(bytes, (Bytes{'a', 0, 'b', 0, 0, 0}));
    ASSERT_TRUE(RegData::Encode(REG_DWORD, "0x01020304", "", bytes, error));
    EXPECT_EQ(bytes, (Bytes{4, 3, 2, 1}));
    // A number type of another length prints as its bytes.
    EXPECT_EQ(RegData::Show(REG_DWORD, Bytes{1, 2}), "0102");
    EXPECT_EQ(RegData::Type("reg_multi_sz"), DWORD{REG_MULTI_SZ});
    EXPECT_EQ(RegData::Type("REG_LINK"), std::nullopt);
    EXPECT_EQ(RegData::TypeName(0x20000), "REG_UNKNOWN(0x20000)");
}
}  // namespace
