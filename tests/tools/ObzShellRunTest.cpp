// Runs the installed-layout obzshell against the component registered in a
// fresh runtime prefix, and checks its transcript and exit status.
// Linux-only (setenv, popen).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(OBZ_SHELL) && defined(OBZ_REGSVR) && defined(OBZ_MODULE)

namespace {
namespace fs = std::filesystem;

class ObzShellRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("obz-shell-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("COMRT_PREFIX", (dir_ / "prefix").c_str(), 1);
        ASSERT_EQ(std::system((std::string(OBZ_REGSVR) + " /s " + OBZ_MODULE).c_str()), 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the script with the options; the transcript, and the exit status.
    std::pair<std::string, int> Run(const std::string& script, const std::string& options = "-n") {
        const fs::path file = dir_ / "script.obz";
        std::ofstream(file) << script;
        const std::string command = std::string(OBZ_SHELL) + " " + options + " " + file.string() + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buffer[512];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        const int status = pipe == nullptr ? -1 : pclose(pipe);
        return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }

    fs::path dir_;
};

TEST_F(ObzShellRun, StoresAndReadsBackThroughObjectVariables) {
    const auto [out, status] =
        Run("CreateDbFile Shop 'Items|1|0|1' id,name\n"
            "InsertDBRecord Items id,name \"1;it's, here||;\"\n"
            "new rs Ombrel.RecordSet\n"
            "new item Ombrel.RecordItem\n"
            "GetDBRecordSet 'Items#*#name' id 1 $rs\n"
            "rs.GetRecordCount\n"
            "expect 1\n"
            "rs.GetRecordItem 0 $item\n"
            "item.GetDataValue name\n"
            "expect \"it's, here\"\n"
            "item.GetDataValue nothing\n");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out,
              "=> db = Ombrel.ZeveVevuVAD {F59CFD47-99A5-4BFA-B936-C03A62C53679}\n"
              "=> 1\n=> 1\n"
              "=> rs = Ombrel.RecordSet {5195E675-2327-4CAC-9B2F-61BB6EEA33AE}\n"
              "=> item = Ombrel.RecordItem {D8995745-29D3-423C-8FF6-BE964C5B36C9}\n"
              "=> true\n=> 1\n=> true\n=> \"it's, here\"\n=> \"\"\n");
}

TEST_F(ObzShellRun, PrintsEventsBeforeTheOutcomeThatCausedThem) {
    const auto [out, status] = Run("CreateDbFile Shop Items id\nInsertDBRecord Nowhere id 1\nexpect 0\n");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("event OnWriteLog: ZeveVevuVAD64--SQLITE_ERROR[1]: no such table: Nowhere\n"
                       "    REPLACE INTO Nowhere (id) VALUES ('1');\n=> 0\n"),
              std::string::npos)
        << out;
}

struct FailureCase {
    const char* script;
    const char* message;
};

TEST_F(ObzShellRun, ReportsFailedLinesAndGoesOn) {
    const FailureCase cases[] = {
        {"Frobnicate 1\n", "=> error 0x80020006 DISP_E_UNKNOWNNAME"},
        {"Connect only-one\n", "=> error 0x8002000E DISP_E_BADPARAMCOUNT"},
        {"rs.GetRecordCount\n", "=> error: no object named rs"},
        {"GetDBRecordSet T '' '' $rs\n", "=> error: no object named rs"},
        {"new rs Ombrel.NoSuchClass\n", "=> error 0x800401F3 CO_E_CLASSSTRING"},
        {"new rs Ombrel.RecordSet\nrs.GetRecordItem x $rs\n",
         "DISP_E_TYPEMISMATCH: GetRecordItem failed at argument 1"},
        {"InsertDBRecord T a 'open\n", "=> error: unterminated single quote"},
        {"Disconnect\nexpect 1\n", "=> error: expected 1 but the last outcome was S_OK"},
    };
    for (const FailureCase& c : cases) {
        const auto [out, status] = Run(std::string(c.script) + "print still running\n");
        EXPECT_EQ(status, 1) << c.script;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.script << out;
        EXPECT_NE(out.find("still running"), std::string::npos) << c.script;
    }
}

TEST_F(ObzShellRun, StopsAtTheFirstFailureWithDashE) {
    const auto [out, status] = Run("Frobnicate\nprint not reached\n", "-n -e");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.find("not reached"), std::string::npos) << out;
}

TEST_F(ObzShellRun, EchoesTheScriptUnlessAskedNotTo) {
    const auto [out, status] = Run("# a note\nDisconnect\nexpect S_OK\nquit\nDisconnect\n", "");
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("# a note\n> Disconnect\n=> S_OK\n> quit\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("expect"), std::string::npos) << out;
}

}  // namespace

#endif
