// Runs obz-example against the component registered in a fresh runtime
// prefix: its options, and its session whatever the data folder holds.
// Linux-only (setenv, popen).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

#include "tools/ToolProcess.h"

#if defined(OBZ_EXAMPLE) && defined(OBZ_REGSVR) && defined(OBZ_MODULE)

namespace {
namespace fs = std::filesystem;

using Outcome = ToolProcess::Result;

class ExampleClientRun : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder of this run's own: two runs of the suite at once never share it.
        std::string pattern = (fs::temp_directory_path() / "obz-example-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("COMRT_PREFIX", (dir_ / "prefix").c_str(), 1);
        ASSERT_EQ(std::system((std::string(OBZ_REGSVR) + " /s " + OBZ_MODULE).c_str()), 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static Outcome Run(const std::string& arguments) { return ToolProcess::Run(std::string(OBZ_EXAMPLE) + " " + arguments); }

    fs::path DemoFile() const { return dir_ / "prefix/drive_c/ProgramData/Ombrel/API/DataBase/Demo.db"; }

    fs::path dir_;
};

// Runs SQL on a database file with SQLite directly, as another program would.
void RunSql(const fs::path& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << "\n" << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST_F(ExampleClientRun, OptionsAnswerWithoutRunningTheSession) {
    struct Case {
        const char* arguments;
        int status;
        std::string out;  // all of stdout, or its start for --help
        const char* err;  // in stderr; stderr empty when ""
    };
    const Case cases[] = {
        {"--help", 0, "Usage: obz-example [--help] [--version]\n", ""},
        {"-h", 0, "Usage: obz-example [--help] [--version]\n", ""},
        {"--version", 0, "obz-example (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n", ""},
        {"--frobnicate", 2, "", "obz-example: unrecognized argument '--frobnicate'\n"},
        {"Demo", 2, "", "unrecognized argument 'Demo'"},
    };
    for (const Case& c : cases) {
        const Outcome result = Run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments;
        EXPECT_EQ(result.out.substr(0, c.out.size()), c.out) << c.arguments;
        if (c.out.empty()) {
            EXPECT_EQ(result.out, "") << c.arguments;
        }
        if (*c.err == '\0') {
            EXPECT_EQ(result.err, "") << c.arguments;
        } else {
            EXPECT_NE(result.err.find(c.err), std::string::npos) << c.arguments << ": " << result.err;
        }
    }
    EXPECT_FALSE(fs::exists(DemoFile()));
}

TEST_F(ExampleClientRun, RunsWhateverTheDataFolderHolds) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& demo)> prepare;
    };
    const Case cases[] = {
        {"no data folder yet", [](const fs::path&) {}},
        {"an earlier run's file, with a row another session added",
         [](const fs::path& demo) { RunSql(demo, "INSERT INTO People VALUES ('9','Zoe','Cork');"); }},
        {"tables of another shape, and the import's table left over",
         [](const fs::path& demo) {
             fs::remove(demo);
             RunSql(demo,
                    "CREATE TABLE People(id TEXT PRIMARY KEY, name TEXT);"
                    "CREATE TABLE Imported(code TEXT PRIMARY KEY, name TEXT);"
                    "INSERT INTO Imported VALUES ('k1','Old');");
         }},
        {"a file that is not a database", [](const fs::path& demo) { std::ofstream(demo) << "not a database\n"; }},
    };
    for (const Case& c : cases) {
        c.prepare(DemoFile());
        const Outcome result = Run("");
        EXPECT_EQ(result.status, 0) << c.what << "\n" << result.out << result.err;
        EXPECT_NE(result.out.find("every outcome was the expected one"), std::string::npos) << c.what;
    }
}

// The C++ example of the Windows client guide, built here from the guide's
// text, prints what the guide shows.
TEST_F(ExampleClientRun, TheClientGuideExamplePrintsTheGuidesOutput) {
    std::ifstream file(OBZ_GUIDE_OUTPUT);
    const std::string expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty()) << OBZ_GUIDE_OUTPUT;
    for (int run = 0; run < 2; ++run) {  // the second run meets the first one's file
        Outcome result = ToolProcess::Run(OBZ_GUIDE_EXAMPLE);
        EXPECT_EQ(result.status, 0) << result.err;
        // A log line holds CR LF before its statement; the guide shows a line break.
        std::erase(result.out, '\r');
        EXPECT_EQ(result.out, expected) << "run " << run;
    }
}

}  // namespace

#endif
