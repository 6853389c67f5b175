// Faults of the machine met by the engine: locks held by others past the busy
// timeout, I/O errors and a full disk (played by the fault-injecting VFS), and
// locks of the object's own transaction. A write answers 1 only when its row
// is in the file, a transaction that SQLite rolled back stores none of its
// writes, and no call waits for a lock that only its own object can release.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <memory>

#include "FacadeFixture.h"
#include "sqlite/CppSQLite3DB.h"
#include "sqlite/FaultVfs.h"

namespace fs = std::filesystem;

namespace {
const WString kBusy = OLESTR("SQLITE_BUSY[5]: database is locked\r\n");

class DatabaseFacadeFaultTest : public FacadeFixture {
protected:
    void SetUp() override {
        vfs = std::make_unique<FaultVfs>();
        FacadeFixture::SetUp();
        if (IsSkipped()) return;
        // Short, so that a test that would otherwise hang on a lock fails fast.
        facade->SetBusyTimeout(50);
        file = dir / "f.db";
        ASSERT_EQ(facade->CreateDbFile(StarFile("f.db"), OLESTR("T"), OLESTR("k,v")), 1);
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("0,kept")), 1);
    }
    void TearDown() override {
        FacadeFixture::TearDown();
        vfs.reset();
    }
    // The keys and the integrity of a file that a fault may have left with a
    // hot journal: a writing connection, as the next writer would, rolls it
    // back first.
    static std::vector<std::string> Keys(const fs::path& db) {
        Recover(db);
        return Rows(db, "SELECT k FROM T ORDER BY k");
    }
    static bool IntegrityOk(const fs::path& db) {
        Recover(db);
        return Rows(db, "PRAGMA integrity_check") == std::vector<std::string>{"ok"};
    }
    static void Recover(const fs::path& db) {
        sqlite3* connection = nullptr;
        EXPECT_EQ(sqlite3_open(Utf8Path(db).c_str(), &connection), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(connection, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(connection);
    }
    std::vector<std::string> Keys() const { return Keys(file); }
    bool IntegrityOk() const { return IntegrityOk(file); }

    // Another connection of this process, as another process would hold it.
    struct Holder {
        explicit Holder(const fs::path& file, const char* sql) {
            EXPECT_EQ(sqlite3_open(Utf8Path(file).c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        }
        ~Holder() {
            sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        sqlite3* db = nullptr;
    };

    std::unique_ptr<FaultVfs> vfs;
    fs::path file;
};

// A write that the busy timeout ends stored nothing: 0 and the SQLITE_BUSY
// line, for every per-statement write and for a reader's lock as well as a
// writer's.
TEST_F(DatabaseFacadeFaultTest, WriteBlockedPastTheBusyTimeoutAnswersZeroWithItsLine) {
    struct Write {
        const char* name;
        std::function<LONG(DatabaseFacade&)> call;
        const OLECHAR* sql;
    } const writes[] = {
        {"insert", [](DatabaseFacade& f) { return f.InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,new")); },
         OLESTR("REPLACE INTO T (k,v) VALUES ('1','new');")},
        {"update",
         [](DatabaseFacade& f) { return f.UpdateDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("0"), OLESTR("v"), OLESTR("x")); },
         OLESTR("UPDATE T SET v='x' WHERE k='0';")},
        {"delete", [](DatabaseFacade& f) { return f.DeleteDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("0")); },
         OLESTR("DELETE FROM T where k = '0';")},
        {"drop",
         [](DatabaseFacade& f) {
             LONG ret = 7;
             return f.DropTable(OLESTR(""), OLESTR("T"), &ret) == S_OK ? ret : 0;
         },
         OLESTR("Drop Table T;")},
    };
    for (const char* lock : {"BEGIN; SELECT count(*) FROM T;", "BEGIN IMMEDIATE;"}) {
        for (const Write& write : writes) {
            SCOPED_TRACE(std::string(write.name) + " against " + lock);
            log.lines.clear();
            {
                Holder holder(file, lock);
                EXPECT_EQ(write.call(*facade), 0);
            }
            EXPECT_EQ(log.lines, std::vector<WString>{kBusy + write.sql});
            EXPECT_EQ(Rows(file, "SELECT * FROM T"), std::vector<std::string>{"0|kept"});
        }
    }
}

struct MachineFault {
    const char* name;
    std::function<void(FaultVfs&)> arm;
};

const MachineFault kMachineFaults[] = {
    {"write I/O error", [](FaultVfs& v) { v.FailWrites(SQLITE_IOERR_WRITE); }},
    {"disk full", [](FaultVfs& v) { v.FullAfter(0); }},
    {"sync failure", [](FaultVfs& v) { v.FailSyncs(true); }},
};

// Outside a transaction each fault fails the one write with its line and
// leaves the file whole.
TEST_F(DatabaseFacadeFaultTest, FaultedWriteOutsideATransactionStoresNothing) {
    for (const MachineFault& fault : kMachineFaults) {
        SCOPED_TRACE(fault.name);
        log.lines.clear();
        fault.arm(*vfs);
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,lost")), 0);
        vfs->Heal();
        ASSERT_EQ(log.lines.size(), 1u);
        const WString sql = OLESTR("\r\nREPLACE INTO T (k,v) VALUES ('1','lost');");
        EXPECT_EQ(log.lines[0].substr(0, 7), OLESTR("SQLITE_")) << Narrow(log.lines[0]);
        EXPECT_EQ(log.lines[0].substr(log.lines[0].size() - std::min(sql.size(), log.lines[0].size())), sql);
        EXPECT_EQ(Keys(), std::vector<std::string>{"0"});
        EXPECT_TRUE(IntegrityOk());
    }
}

// The import's batch is all or nothing under every write fault (it does not
// sync, so a sync failure cannot touch it).
TEST_F(DatabaseFacadeFaultTest, FaultedImportStoresNothing) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("i"), OLESTR("T"), OLESTR("k,v")), 1);
    std::ofstream(dir / "rows.txt", std::ios::binary) << "'1','a';'2','b';3,4.5;";
    const fs::path db = DefaultDataFolder() / "i.db";
    for (const MachineFault& fault : kMachineFaults) {
        if (std::string(fault.name) == "sync failure") continue;
        SCOPED_TRACE(fault.name);
        fault.arm(*vfs);
        EXPECT_EQ(facade->ImportDbFile(HostFile("rows.txt"), OLESTR("T"), OLESTR("k,v"), OLESTR(";"), OLESTR(",")), 0);
        vfs->Heal();
        EXPECT_EQ(Keys(db), std::vector<std::string>{});
        EXPECT_TRUE(IntegrityOk(db));
    }
    EXPECT_EQ(facade->ImportDbFile(HostFile("rows.txt"), OLESTR("T"), OLESTR("k,v"), OLESTR(";"), OLESTR(",")), 1);
}

// SQLite rolls the whole transaction back on an I/O error in a write, a full
// disk or a failing sync at the commit. Writes after that answer 0 and run
// nothing (they would be stored on their own), the commit answers S_FALSE
// with its line, and the next transaction starts clean.
TEST_F(DatabaseFacadeFaultTest, TransactionThatSqliteRolledBackStoresNoneOfItsWrites) {
    // Enough rows of 1 KB that the transaction's writes touch pages that the
    // file already holds, which SQLite copies to its journal at once.
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    const WString kilobyte(1000, OLESTR('x'));
    for (int i = 10; i < 60; ++i)
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), Wide(std::to_string(i)) + OLESTR(",") + kilobyte), 1);
    ASSERT_EQ(facade->CommitTransation(), S_OK);
    const std::vector<std::string> before = Keys();

    struct Case {
        const char* name;
        bool faultInWrite;  // else at the commit
        std::function<void(FaultVfs&)> arm;
        const OLECHAR* line;
    } const cases[] = {
        {"I/O error in a write", true, [](FaultVfs& v) { v.FailWrites(SQLITE_IOERR_WRITE); },
         OLESTR("SQLITE_IOERR[10]: disk I/O error; the transaction was rolled back and none of its writes were stored")
             OLESTR("\r\nCOMMIT TRANSACTION;")},
        {"disk full at the commit", false, [](FaultVfs& v) { v.FullAfter(0); },
         OLESTR("CommitTransation Error:database or disk is full")},
        {"sync failure at the commit", false, [](FaultVfs& v) { v.FailSyncs(true); },
         OLESTR("CommitTransation Error:disk I/O error")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.lines.clear();
        ASSERT_EQ(facade->BeginTransation(), S_OK);
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("100,first")), 1);
        if (c.faultInWrite) {
            c.arm(*vfs);
            EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("55,second")), 0);
            vfs->Heal();
            EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("101,third")), 0);
            EXPECT_EQ(facade->DeleteDBRecord(OLESTR("T"), OLESTR(""), OLESTR("")), 0);
            EXPECT_TRUE(facade->InTransaction());
        } else {
            c.arm(*vfs);
        }
        EXPECT_EQ(facade->CommitTransation(), S_FALSE);
        vfs->Heal();
        EXPECT_EQ(log.lines, std::vector<WString>{c.line});
        EXPECT_FALSE(facade->InTransaction());
        EXPECT_EQ(Keys(), before);
        EXPECT_TRUE(IntegrityOk());

        ASSERT_EQ(facade->BeginTransation(), S_OK);
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("9,clean")), 1);
        EXPECT_EQ(facade->CommitTransation(), S_OK);
        EXPECT_EQ(facade->DeleteDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("9")), 1);
    }
}

// The object's own transaction holds the file's write lock until its commit.
// A query meanwhile reads the committed rows at once, even after enough
// writes to overflow SQLite's page cache; a drop, which needs the lock
// itself, fails at once with the SQLITE_BUSY line instead of waiting for a
// commit that cannot come while it waits.
TEST_F(DatabaseFacadeFaultTest, CallsDuringTheObjectsOwnTransactionDoNotWaitForIt) {
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    const WString kilobyte(1000, OLESTR('y'));
    for (int i = 1; i <= 3000; ++i)
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), Wide(std::to_string(i)) + OLESTR(",") + kilobyte), 1);

    vfs->ResetSleeps();
    const QueryResult seen = Query(OLESTR("T#*#k"));
    EXPECT_TRUE(seen.succeeded);
    EXPECT_EQ(seen.rows, std::vector<WString>{OLESTR("0")});
    LONG ret = 7;
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR("T"), &ret), S_FALSE);
    EXPECT_EQ(ret, 7);
    EXPECT_EQ(log.lines, std::vector<WString>{kBusy + OLESTR("Drop Table T;")});
    EXPECT_EQ(vfs->Sleeps(), 0);

    // A commit that a reader blocks keeps the transaction and its pending
    // lock, which refuses new readers: the object's own query then fails at
    // once rather than waiting for its own retry.
    log.lines.clear();
    {
        Holder reader(file, "BEGIN; SELECT count(*) FROM T;");
        EXPECT_EQ(facade->CommitTransation(), S_FALSE);
    }
    ASSERT_TRUE(facade->InTransaction());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind(OLESTR("CommitTransation Error:"), 0), 0u) << Narrow(log.lines[0]);
    log.lines.clear();
    EXPECT_FALSE(Query(OLESTR("T#*#k")).succeeded);
    EXPECT_EQ(log.lines, std::vector<WString>{kBusy + OLESTR("SELECT k FROM T;")});
    EXPECT_EQ(vfs->Sleeps(), 0);

    // The transaction goes on and its retried commit stores all of it.
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("x,last")), 1);
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_FALSE(facade->InTransaction());
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM T"), std::vector<std::string>{"3002"});
}
}  // namespace
