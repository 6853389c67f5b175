#include <gtest/gtest.h>

#include <vector>

#include "CaseName.h"
#include "tools/RegsvrOptions.h"

namespace {

using Request = RegsvrOptions::Request;

struct ParseCase {
    std::vector<const char*> args;
    bool ok;
    Request request;
    std::vector<std::string> libraries;
    bool unregister;
    bool silent;
    bool noRegister;
    bool install;
    const char* installCommandLine;  // null: none given
};

// Names each case by its command line.
void PrintTo(const ParseCase& c, std::ostream* os) {
    for (size_t i = 0; i < c.args.size(); ++i) *os << (i > 0 ? " " : "") << c.args[i];
}

class RegsvrOptionsParse : public testing::TestWithParam<ParseCase> {};

TEST_P(RegsvrOptionsParse, ReadsTheSwitches) {
    const ParseCase& c = GetParam();
    std::vector<const char*> argv{"comrt-regsvr"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    RegsvrOptions options;
    std::string error;
    ASSERT_EQ(RegsvrOptions::Parse(static_cast<int>(argv.size()), argv.data(), options, error), c.ok) << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(options.request, c.request);
    EXPECT_EQ(options.libraries, c.libraries);
    EXPECT_EQ(options.unregister, c.unregister);
    EXPECT_EQ(options.silent, c.silent);
    EXPECT_EQ(options.noRegister, c.noRegister);
    EXPECT_EQ(options.install, c.install);
    EXPECT_EQ(options.installCommandLine.has_value(), c.installCommandLine != nullptr);
    if (c.installCommandLine != nullptr && options.installCommandLine) {
        EXPECT_EQ(*options.installCommandLine, c.installCommandLine);
    }
}

const Request kReg = Request::Register;

INSTANTIATE_TEST_SUITE_P(
    CommandLines, RegsvrOptionsParse,
    testing::Values(
        ParseCase{{"a.so"}, true, kReg, {"a.so"}, false, false, false, false, nullptr},
        ParseCase{{"/U", "-s", "a.so", "b.so"}, true, kReg, {"a.so", "b.so"}, true, true, false, false, nullptr},
        ParseCase{{"/n", "/i:user", "a.so"}, true, kReg, {"a.so"}, false, false, true, true, "user"},
        ParseCase{{"/i:", "a.so"}, true, kReg, {"a.so"}, false, false, false, true, ""},
        // A '/' argument that is no switch is a host path; after -- nothing is a switch.
        ParseCase{{"/opt/x.so", "/usr"}, true, kReg, {"/opt/x.so", "/usr"}, false, false, false, false, nullptr},
        ParseCase{{"--", "/u", "-s"}, true, kReg, {"/u", "-s"}, false, false, false, false, nullptr},
        // Help and version end the parse, whatever follows.
        ParseCase{{"/?"}, true, Request::Help, {}, false, false, false, false, nullptr},
        ParseCase{{"/s", "-?", "--bogus"}, true, Request::Help, {}, false, true, false, false, nullptr},
        ParseCase{{"--help"}, true, Request::Help, {}, false, false, false, false, nullptr},
        ParseCase{{"--version", "a.so"}, true, Request::Version, {}, false, false, false, false, nullptr},
        // Bad command lines.
        ParseCase{{}, false, kReg, {}, false, false, false, false, nullptr},
        ParseCase{{"/n", "a.so"}, false, kReg, {}, false, false, false, false, nullptr},
        ParseCase{{"-x", "a.so"}, false, kReg, {}, false, false, false, false, nullptr},
        ParseCase{{"--bogus", "--help"}, false, kReg, {}, false, false, false, false, nullptr},
        ParseCase{{"-version"}, false, kReg, {}, false, false, false, false, nullptr}),
    CaseName());

}  // namespace
