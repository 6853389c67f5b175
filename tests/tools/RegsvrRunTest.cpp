// Runs the built comrt-regsvr and checks what it writes where, and its exit
// status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "CaseName.h"
#include "ToolProcess.h"

#if defined(OBZ_REGSVR) && defined(OBZ_MODULE)

namespace {
namespace fs = std::filesystem;

struct RunCase {
    const char* args;
    int status;
    const char* out;  // expected in standard output; "" : it stays empty
    const char* err;  // expected in standard error; "" : it stays empty
};

// Names each case by its command line.
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.args; }

// The arguments with the word MODULE replaced by the built module's path.
std::string WithModule(std::string args) {
    const size_t at = args.find("MODULE");
    return at == std::string::npos ? args : args.replace(at, 6, OBZ_MODULE);
}

class RegsvrRun : public testing::TestWithParam<RunCase> {};

TEST_P(RegsvrRun, AnswersOnTheRightStream) {
    const RunCase& c = GetParam();
    const fs::path prefix = fs::temp_directory_path() / ("obz-regsvr-" + std::to_string(getpid()));
    fs::remove_all(prefix);
    const std::string args = WithModule(c.args);
    const ToolProcess::Result r =
        ToolProcess::Run("COMRT_PREFIX='" + prefix.string() + "' " + OBZ_REGSVR + " " + args);
    fs::remove_all(prefix);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (*c.out == '\0') EXPECT_EQ(r.out, "");
    else EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    if (*c.err == '\0') EXPECT_EQ(r.err, "");
    else EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, RegsvrRun,
    testing::Values(RunCase{"'/?'", 0, "Usage: comrt-regsvr [/u]", ""},
                    RunCase{"--help", 0, "Exit status:", ""},
                    RunCase{"/s -? MODULE", 0, "Usage: comrt-regsvr", ""},
                    RunCase{"--version", 0, "comrt-regsvr (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n", ""},
                    RunCase{"MODULE", 0, "DllRegisterServer in", ""},
                    RunCase{"/u MODULE", 0, "DllUnregisterServer in", ""},
                    RunCase{"--bogus", 1, "", "Unrecognized flag: --bogus"},
                    RunCase{"", 1, "", "No library name given"},
                    RunCase{"/nowhere/x.so", 3, "", "The module \"/nowhere/x.so\" failed to load"},
                    RunCase{"/s /nowhere/x.so", 3, "", ""}),
    CaseName());

// A registration whose hives cannot be written (a file-size limit, with the
// signal it raises ignored) fails as a whole and never claims success.
TEST(RegsvrStore, SaysSucceededOnlyOnceStored) {
    const fs::path prefix = fs::temp_directory_path() / ("obz-regsvr-store-" + std::to_string(getpid()));
    fs::remove_all(prefix);
    const ToolProcess::Result r = ToolProcess::Run("(trap '' XFSZ; ulimit -f 1; COMRT_PREFIX='" + prefix.string() +
                                                   "' exec " + OBZ_REGSVR + " " + OBZ_MODULE + ")");
    EXPECT_EQ(r.status, 5) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("could not be stored"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(prefix / "system.reg"));
    fs::remove_all(prefix);
}

}  // namespace

#endif
