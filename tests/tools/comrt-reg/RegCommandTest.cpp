#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/comrt-reg/RegCommand.h"

namespace {
// Parses the words of `line`; answers the error, or "" when accepted.
std::string Parse(const std::vector<std::string>& words, RegCommand& command) {
    std::vector<const char*> argv{"comrt-reg"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    std::string error;
    return RegCommand::Parse(static_cast<int>(argv.size()), argv.data(), command, error) ? "" : error;
}

TEST(RegCommand, ReadsTheSwitchesOfEachOperation) {
    RegCommand c;
    ASSERT_EQ(Parse({"ADD", "hklm\\Software\\X\\", "-V", "Name", "/t", "reg_dword", "/D", "7", "/F", "/reg:64"}, c),
              "");
    EXPECT_EQ(c.operation, RegCommand::Operation::Add);
    EXPECT_EQ(c.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(c.keyPath, "HKEY_LOCAL_MACHINE\\Software\\X");
    EXPECT_EQ(c.subKey, u"Software\\X");
    EXPECT_EQ(c.valueName, "Name");
    EXPECT_EQ(c.type, "reg_dword");
    EXPECT_EQ(c.data, "7");
    EXPECT_TRUE(c.force);
    ASSERT_EQ(Parse({"add", "HKCU\\M", "/ve", "/t", "REG_MULTI_SZ", "/s", "|", "/d", "a|b"}, c), "");
    EXPECT_TRUE(c.defaultValue);
    EXPECT_EQ(c.separator, "|");
    ASSERT_EQ(Parse({"query", "HKEY_CLASSES_ROOT", "/s", "/ve"}, c), "");
    EXPECT_TRUE(c.recurse && c.defaultValue && c.subKey.empty());
    EXPECT_EQ(c.keyPath, "HKEY_CLASSES_ROOT");
    ASSERT_EQ(Parse({"delete", "HKU\\x", "/va", "/f"}, c), "");
    EXPECT_TRUE(c.allValues && c.force);
    ASSERT_EQ(Parse({"delete", "HKCC\\x", "/?"}, c), "");
    EXPECT_EQ(c.request, RegCommand::Request::Help);
    ASSERT_EQ(Parse({"--version"}, c), "");
    EXPECT_EQ(c.request, RegCommand::Request::Version);
}

TEST(RegCommand, RefusesWhatReg_exeRefuses) {
    const std::string syntax = "ERROR: Invalid syntax.\nType \"comrt-reg ";
    const struct {
        std::vector<std::string> words;
        std::string error;
    } cases[] = {
        {{}, syntax + "/?\" for usage."},
        {{"copy", "HKLM\\a"}, syntax + "/?\" for usage."},
        {{"query"}, syntax + "query /?\" for usage."},
        {{"query", "HKXX\\a"}, "ERROR: Invalid key name.\nType \"comrt-reg query /?\" for usage."},
        {{"query", "\\\\host\\HKLM\\a"}, "ERROR: Invalid key name.\nType \"comrt-reg query /?\" for usage."},
        {{"query", "HKLM\\a", "/v", "x", "/ve"}, syntax + "query /?\" for usage."},
        {{"query", "HKLM\\a", "/v"}, syntax + "query /?\" for usage."},
        {{"query", "HKLM\\a", "/f"}, syntax + "query /?\" for usage."},
        {{"query", "HKLM\\a", "extra"}, syntax + "query /?\" for usage."},
        {{"add", "HKLM\\a", "/d", "1", "/d", "2"}, syntax + "add /?\" for usage."},
        {{"add", "HKLM\\a", "/s", "ab"}, syntax + "add /?\" for usage."},
        {{"add", "HKLM\\a", "/va"}, syntax + "add /?\" for usage."},
        {{"delete", "HKLM\\a", "/va", "/v", "x"}, syntax + "delete /?\" for usage."},
        {{"delete", "HKLM\\a", "/t", "REG_SZ"}, syntax + "delete /?\" for usage."},
    };
    for (const auto& test : cases) {
        RegCommand c;
        EXPECT_EQ(Parse(test.words, c), test.error) << testing::PrintToString(test.words);
    }
}
}  // namespace
