// The tools' man pages, made from their --help at build time: each has its
// name line, synopsis and options, formats without a warning, and installs
// under share/man/man1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ToolProcess.h"

#if defined(OBZ_MAN_DIR) && defined(OBZ_BUILD_DIR) && defined(OBZ_CMAKE)

namespace {
namespace fs = std::filesystem;

const char* const kTools[] = {"comrt-regsvr", "comrt-reg", "obzshell", "obz-example", "obz-import"};

std::string Read(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ManPage, NamesTheToolAndItsOptions) {
    for (const char* tool : kTools) {
        const fs::path page = fs::path(OBZ_MAN_DIR) / (std::string(tool) + ".1");
        const std::string text = Read(page);
        EXPECT_NE(text.find(".SH NAME\n" + std::string(tool) + " \\- "), std::string::npos) << page;
        EXPECT_NE(text.find(".SH SYNOPSIS\n.B " + std::string(tool)), std::string::npos) << page;
        EXPECT_NE(text.find("\\-\\-version"), std::string::npos) << page;
        // groff's own warnings (-ww) on the page; skipped where groff is missing.
        const ToolProcess::Result groff = ToolProcess::Run("groff -man -Tutf8 -ww -z " + page.string());
        if (groff.status != 127) {
            EXPECT_EQ(groff.err, "") << page;
        }
    }
}

TEST(ManPage, InstallsUnderShareMan) {
    const fs::path prefix = fs::temp_directory_path() / ("obz-man-" + std::to_string(getpid()));
    const ToolProcess::Result install = ToolProcess::Run(std::string(OBZ_CMAKE) + " --install " + OBZ_BUILD_DIR +
                                                         " --component man --prefix " + prefix.string());
    EXPECT_EQ(install.status, 0) << install.err;
    for (const char* tool : kTools) {
        EXPECT_TRUE(fs::exists(prefix / "share" / "man" / "man1" / (std::string(tool) + ".1"))) << tool;
    }
    fs::remove_all(prefix);
}

}  // namespace

#endif
