// SQLite on long host paths once the runtime's file layer is installed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "ScratchPrefix.h"
#include "comrt/sqlite/SqliteHostVfs.h"

namespace {
namespace fs = std::filesystem;

class SqliteHostVfsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SqliteHostVfs::Install()); }

    // A folder below root, made, whose path is `length` bytes long.
    std::string DeepFolder(size_t length) const {
        std::string folder = root.string();
        while (folder.size() < length) folder += "/" + std::string(std::min<size_t>(200, length - folder.size() - 1), 'd');
        fs::create_directories(folder);
        return folder;
    }

    static int Exec(sqlite3* db, const std::string& sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    static std::string Count(const std::string& file) {
        sqlite3* db = nullptr;
        std::string count = "open failed";
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &st, nullptr);
            count = sqlite3_step(st) == SQLITE_ROW ? std::to_string(sqlite3_column_int(st, 0)) : sqlite3_errmsg(db);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return count;
    }

    ScratchPrefix scratch;
    const fs::path root = scratch.Path();
};

// Every journal mode names further files after the database (journal, log,
// shared memory) and looks them up, deletes or keeps them: all of that must
// reach the long path's folder.
TEST_F(SqliteHostVfsTest, LongPathsWorkInEveryJournalMode) {
    const std::string folder = DeepFolder(4000);
    for (const std::string mode : {"DELETE", "TRUNCATE", "PERSIST", "WAL"}) {
        SCOPED_TRACE(mode);
        const std::string file = folder + "/" + mode + ".db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(Exec(db, "PRAGMA journal_mode=" + mode + "; CREATE TABLE t(v);"), SQLITE_OK);
        EXPECT_EQ(Exec(db, "BEGIN; INSERT INTO t VALUES (1), (2); COMMIT;"), SQLITE_OK) << sqlite3_errmsg(db);
        EXPECT_EQ(Count(file), "2");  // a second connection, while the first is open
        sqlite3_close(db);
        EXPECT_EQ(Count(file), "2");
    }
    EXPECT_FALSE(fs::exists(folder + "/DELETE.db-journal"));
    EXPECT_TRUE(fs::exists(folder + "/PERSIST.db-journal"));
}

TEST_F(SqliteHostVfsTest, NamesItCannotReachFailToOpen) {
    const std::string folder = DeepFolder(4000);
    const struct Case { const char* what; std::string file; } cases[] = {
        {"missing folder", folder + "/none/x.db"},
        {"leaf longer than a file name", folder + "/" + std::string(300, 'n')},
        {"longer than the host's limit", folder + "/" + std::string(100, 'n') + "/x.db"},
        {"far longer", [&] {
             std::string path = root.string();
             for (int i = 0; i < 5000; ++i) path += "/abc";
             return path + "/x.db";
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(c.file.c_str(), &db), SQLITE_CANTOPEN);
        sqlite3_close(db);
    }
}
}  // namespace
