// Runs the built comrt-reg on a fresh prefix: what it prints on which
// stream, its exit status, and what it leaves in the hive files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <comrt/comrt.h>

#include "tools/ToolProcess.h"

#if defined(OBZ_REG)

namespace {
namespace fs = std::filesystem;

const std::string kCodePage = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
const std::string kShown = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
const std::string kDone = "The operation completed successfully.\n";
const std::string kMissing = "ERROR: The system was unable to find the specified registry key or value.\n";

class ComrtRegRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "comrt-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        prefix_ = pattern;
    }
    void TearDown() override { fs::remove_all(prefix_); }

    // comrt-reg with `args` (each quoted for the shell), `input` on its
    // standard input.
    ToolProcess::Result Reg(const std::vector<std::string>& args, const std::string& input = "") const {
        std::string line = "COMRT_PREFIX='" + prefix_.string() + "' " OBZ_REG;
        for (const std::string& arg : args) line += " '" + arg + "'";
        return ToolProcess::Run(line, input);
    }
    std::string Hive(const char* name) const {
        std::ifstream in(prefix_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteHive(const char* name, const std::string& text) const {
        std::ofstream(prefix_ / name, std::ios::binary) << text;
    }

    fs::path prefix_;
};

TEST_F(ComrtRegRun, SetsTheCodePageWithoutEditingTheHive) {
    WriteHive("system.reg", "Windows Registry Editor Version 5.00\n\n; kept by hand\n[HKEY_LOCAL_MACHINE\\Software]\n");
    ToolProcess::Result r = Reg({"add", kCodePage, "/v", "ACP", "/d", "1252", "/f"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kDone);
    EXPECT_NE(Hive("system.reg").find("; kept by hand\n[HKEY_LOCAL_MACHINE\\Software]\n"), std::string::npos);
    EXPECT_NE(Hive("system.reg").find("\"ACP\"=\"1252\""), std::string::npos);
    // The runtime takes it as the ANSI code page.
    setenv("COMRT_PREFIX", prefix_.c_str(), 1);
    EXPECT_EQ(GetACP(), 1252u);

    r = Reg({"query", kCodePage, "/v", "acp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n" + kShown + "\n    ACP    REG_SZ    1252\n\n");
    r = Reg({"query", kCodePage, "/v", "OEMCP"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kMissing);
    r = Reg({"query", kCodePage, "/ve"});
    EXPECT_EQ(r.out, "\n" + kShown + "\n    (Default)    REG_SZ    (value not set)\n\n");

    // Without /f it asks; anything but yes keeps the value.
    r = Reg({"add", kCodePage, "/v", "ACP", "/d", "850"}, "n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Value ACP exists, overwrite(Yes/No)? The operation was canceled by the user.\n");
    EXPECT_NE(Hive("system.reg").find("\"ACP\"=\"1252\""), std::string::npos);
    r = Reg({"add", kCodePage, "/v", "ACP", "/d", "850"}, "Yes\n");
    EXPECT_EQ(r.out, "Value ACP exists, overwrite(Yes/No)? " + kDone);

    r = Reg({"delete", kCodePage, "/v", "ACP", "/f"});
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(Reg({"delete", kCodePage, "/v", "ACP", "/f"}).err, kMissing);
}

TEST_F(ComrtRegRun, ListsKeysAndValuesAsReg_exeDoes) {
    const std::string key = "HKCU\\Software\\T";
    ASSERT_EQ(Reg({"add", key, "/ve", "/d", "top", "/f"}).status, 0);
    ASSERT_EQ(Reg({"add", key, "/v", "N", "/t", "REG_DWORD", "/d", "0x2A", "/f"}).status, 0);
    ASSERT_EQ(Reg({"add", key + "\\Sub", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0b", "/f"}).status, 0);
    ASSERT_EQ(Reg({"add", key + "\\Empty"}).status, 0);
    const std::string shown = "HKEY_CURRENT_USER\\Software\\T";
    ToolProcess::Result r = Reg({"query", key});
    EXPECT_EQ(r.out, "\n" + shown + "\n    (Default)    REG_SZ    top\n    N    REG_DWORD    0x2a\n\n" + shown +
                         "\\Empty\n" + shown + "\\Sub\n");
    r = Reg({"query", key, "/s"});
    EXPECT_EQ(r.out, "\n" + shown + "\n    (Default)    REG_SZ    top\n    N    REG_DWORD    0x2a\n\n" + shown +
                         "\\Empty\n\n" + shown + "\\Sub\n    M    REG_MULTI_SZ    a\\0b\n\n");
    r = Reg({"query", "HKCU\\Software", "/v", "m", "/s"});
    EXPECT_EQ(r.out, "\n" + shown + "\\Sub\n    M    REG_MULTI_SZ    a\\0b\n\nEnd of search: 1 match(es) found.\n");

    r = Reg({"delete", key, "/va", "/f"});
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(Reg({"query", key}).out, "\n" + shown + "\\Empty\n" + shown + "\\Sub\n");
    r = Reg({"delete", key}, "\n");
    EXPECT_EQ(r.out, "Permanently delete the registry key " + shown +
                         " (Yes/No)? The operation was canceled by the user.\n");
    EXPECT_EQ(Reg({"delete", key}, "y\n").status, 0);
    EXPECT_EQ(Reg({"query", key}).err, kMissing);
    EXPECT_EQ(Reg({"delete", "HKCU", "/f"}).err, "ERROR: Access is denied.\n");
}

TEST_F(ComrtRegRun, FailuresGoToStandardErrorWithStatusOne) {
    WriteHive("user.reg", "garbage\n");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"query", "HKCU\\Software"}, "ERROR: The configuration registry database is corrupt.\n"},
        {{"add", "HKU\\x", "/f"}, "ERROR: Access is denied.\n"},
        {{"add", "HKLM\\x", "/v", "n", "/t", "REG_DWORD", "/d", "ten", "/f"},
         "ERROR: The data of a REG_DWORD is a number from 0 to 0xffffffff, decimal or after 0x.\n"},
        {{"add", "HKLM\\x", "/t", "REG_LINK", "/f"}, "ERROR: Invalid syntax.\nType \"comrt-reg add /?\" for usage.\n"},
        {{"query"}, "ERROR: Invalid syntax.\nType \"comrt-reg query /?\" for usage.\n"},
    };
    for (const auto& test : cases) {
        const ToolProcess::Result r = Reg(test.args);
        EXPECT_EQ(r.status, 1) << test.args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(test.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(Hive("user.reg"), "garbage\n");
    ToolProcess::Result r = Reg({"--version"});
    EXPECT_EQ(r.out, "comrt-reg (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n");
    r = Reg({"add", "/?"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage:\n  comrt-reg add KEY", 0), 0u) << r.out;
}
}  // namespace

#endif
