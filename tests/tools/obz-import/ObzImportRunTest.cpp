// Runs the built obz-import against the component registered in a fresh
// runtime prefix and reads what it stored with SQLite itself. Linux-only
// (setenv, popen).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <OBZeveVevuVAD.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/ToolProcess.h"

#if defined(OBZ_IMPORT) && defined(OBZ_REGSVR) && defined(OBZ_MODULE)

namespace {
namespace fs = std::filesystem;

class ObzImportRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("obz-import-run-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        setenv("COMRT_PREFIX", (dir_ / "prefix").c_str(), 1);
        ASSERT_EQ(std::system((std::string(OBZ_REGSVR) + " /s " + OBZ_MODULE).c_str()), 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes `bytes` to FILE and runs obz-import with its staging folders in dir_/tmp.
    ToolProcess::Result Import(const std::string& file, const std::string& bytes, const std::string& arguments) {
        std::ofstream(dir_ / file, std::ios::binary) << bytes;
        return ToolProcess::Run("TMPDIR=" + (dir_ / "tmp").string() + " " + OBZ_IMPORT + " " +
                                (dir_ / file).string() + " " + arguments);
    }

    fs::path DataFile(const std::string& name) const {
        return dir_ / "prefix/drive_c/ProgramData/Ombrel/API/DataBase" / name;
    }

    // The rows of `table`, values joined by "|", rows ended by ";"; then the
    // column names in brackets.
    static std::string Rows(const fs::path& db, const std::string& table) {
        sqlite3* handle = nullptr;
        std::string out;
        if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* rows = nullptr;
            sqlite3_prepare_v2(handle, ("SELECT * FROM " + table + " ORDER BY rowid").c_str(), -1, &rows, nullptr);
            while (rows != nullptr && sqlite3_step(rows) == SQLITE_ROW) {
                for (int i = 0; i < sqlite3_column_count(rows); ++i) {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, i));
                    out += (i > 0 ? "|" : "") + std::string(text == nullptr ? "NULL" : text);
                }
                out += ";";
            }
            for (int i = 0; rows != nullptr && i < sqlite3_column_count(rows); ++i)
                out += (i > 0 ? "," : "[") + std::string(sqlite3_column_name(rows, i));
            out += "]";
            sqlite3_finalize(rows);
        }
        sqlite3_close(handle);
        return out;
    }

    fs::path dir_;
};

// Quoted values with delimiters, quotes and line breaks, a byte-order mark,
// and an ANSI code page (1252) that would misread UTF-8: stored exactly.
TEST_F(ObzImportRun, StoresRfc4180ValuesExactlyUnderTheHeadersNames) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, u"ACP", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"1252"), 10);
    RegCloseKey(key);
    const auto r = Import("people.csv",
                          "\xEF\xBB\xBFid,First Name,order\r\n"
                          "1,\"O'Brien, Pat\",\"say \"\"hi\"\"\"\r\n"
                          "\r\n"
                          "2,Caf\xC3\xA9 \xE2\x82\xAC,\"two\r\nlines\"\r\n"
                          "3,,\n",
                          "Demo People");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "3 rows read, 3 stored in People of Demo.db in the data folder\n");
    EXPECT_EQ(Rows(DataFile("Demo.db"), "People"),
              "1|O'Brien, Pat|say \"hi\";2|Caf\xC3\xA9 \xE2\x82\xAC|two\r\nlines;3||;[id,First Name,order]");
}

// UTF-16 tab-separated text without a header into a "*" path; a second
// import adds to the existing table; nothing is left in the staging folder.
TEST_F(ObzImportRun, LoadsIntoAFullPathAndAddsToAnExistingTable) {
    const std::string utf16 = std::string("\xFF\xFE" "a\0\t\0b\0\n\0c\0\t\0d\0", 16);
    const fs::path db = dir_ / "own" / "x.db";
    fs::create_directories(db.parent_path());
    auto r = Import("in.tsv", utf16, "--no-header '*" + db.string() + "' T");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 rows read, 2 stored in T of " + db.string() + "\n");
    r = Import("more.csv", "e,f\n", "--no-header '*" + db.string() + "' T");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Rows(db, "T"), "a|b;c|d;e|f;[c1,c2]");
    EXPECT_FALSE(fs::exists(DataFile("x.db")));
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
    // A "*" path must end in .db, in a folder that exists.
    r = Import("in.csv", "a\n", "'*" + (dir_ / "own" / "x.sqlite").string() + "' T");
    EXPECT_EQ(r.status, 2);
    r = Import("in.csv", "a\n", "'*" + (dir_ / "none" / "x.db").string() + "' T");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "obz-import: the folder of " + (dir_ / "none" / "x.db").string() + " does not exist\n");
}

// A bad row stops the import with its line, and nothing is stored; with
// --skip-bad the other rows are stored and the first bad one is named.
TEST_F(ObzImportRun, ReportsTheFirstBadRowByItsLine) {
    const std::string csv = "k,v\n1,\"a\nb\"\n2\n3,c\n4,\"d\"x\n";
    auto r = Import("bad.csv", csv, "Shop T");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "obz-import: line 4: the row has 1 value where 2 are expected\n"
              "obz-import: nothing stored (--skip-bad stores the other rows)\n");
    EXPECT_EQ(Rows(DataFile("Shop.db"), "T"), "[k,v]");
    r = Import("bad.csv", csv, "--skip-bad Shop T");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4 rows read, 2 stored in T of Shop.db in the data folder\n");
    EXPECT_EQ(r.err, "obz-import: 2 bad rows skipped; the first, line 4: the row has 1 value where 2 are expected\n");
    EXPECT_EQ(Rows(DataFile("Shop.db"), "T"), "1|a\nb;3|c;[k,v]");
}

// A value takes up to 499 line breaks, each joined into it; one more than
// SQLite can join makes the row bad.
TEST_F(ObzImportRun, TakesValuesOfUpTo499LineBreaks) {
    std::string most;
    for (int i = 0; i < 499; ++i) most += "x\n";
    const auto r = Import("lines.csv", "a,b\n1,\"" + most + "\"\n2,\"" + std::string(500, '\n') + "\"\n",
                          "--skip-bad Shop T");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 rows read, 1 stored in T of Shop.db in the data folder\n");
    EXPECT_EQ(r.err,
              "obz-import: 1 bad row skipped; the first, line 502: value 2 holds more than 499 line breaks, "
              "more than the component stores in one value\n");
    EXPECT_EQ(Rows(DataFile("Shop.db"), "T"), "1|" + most + ";[a,b]");
}

// Rows the table's columns cannot take: the component stores none, and the
// tool says so. A header alone makes the table and stores nothing.
TEST_F(ObzImportRun, SaysWhenTheComponentStoresNothing) {
    auto r = Import("head.csv", "a,b\n", "Shop T");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 rows read, 0 stored in T of Shop.db in the data folder\n");
    r = Import("three.csv", "x,y,z\n1,2,3\n", "Shop T");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1 row read, none stored\n");
    EXPECT_NE(r.err.find("the component stored none of the rows in T of Shop.db"), std::string::npos) << r.err;
    EXPECT_EQ(Rows(DataFile("Shop.db"), "T"), "[a,b]");
}

TEST_F(ObzImportRun, AnswersHelpVersionAndBadUsage) {
    auto r = ToolProcess::Run(std::string(OBZ_IMPORT) + " --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: obz-import [OPTION]... FILE DATABASE TABLE\n", 0), 0u) << r.out;
    r = ToolProcess::Run(std::string(OBZ_IMPORT) + " --version");
    EXPECT_EQ(r.out, "obz-import (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n");
    r = ToolProcess::Run(std::string(OBZ_IMPORT) + " a.csv Demo");
    EXPECT_EQ(r.status, 2);
    r = Import("in.csv", "a\n", "Demo T");
    EXPECT_EQ(r.status, 0) << r.err;
    r = ToolProcess::Run("COMRT_PREFIX=" + (dir_ / "empty").string() + " " + OBZ_IMPORT + " " +
                         (dir_ / "in.csv").string() + " Demo T");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is the component registered?"), std::string::npos) << r.err;
    // A file that cannot be read is named with the system's reason.
    r = ToolProcess::Run(std::string(OBZ_IMPORT) + " " + (dir_ / "missing.csv").string() + " Demo T");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "obz-import: cannot open " + (dir_ / "missing.csv").string() + ": No such file or directory\n");
}

}  // namespace

#endif
