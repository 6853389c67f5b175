// Faults of the machine met by the engine: locks held by others past the busy
// timeout, I/O errors, a full disk and power cuts (played by the
// fault-injecting VFS), and locks of the object's own transaction. A write
// answers 1 only when its row is in the file, a transaction that SQLite rolled
// back stores none of its writes, no call waits for a lock that only its own
// object can release, and a power cut corrupts nothing and loses nothing that
// was answered.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "FacadeFixture.h"
#include "sqlite/CppSQLite3DB.h"
#include "sqlite/CrashRecorder.h"
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

// The import's batch is all or nothing under every fault.
TEST_F(DatabaseFacadeFaultTest, FaultedImportStoresNothing) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("i"), OLESTR("T"), OLESTR("k,v")), 1);
    std::ofstream(dir / "rows.txt", std::ios::binary) << "'1','a';'2','b';3,4.5;";
    const fs::path db = DefaultDataFolder() / "i.db";
    for (const MachineFault& fault : kMachineFaults) {
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
// with a line that says the writes are lost (a commit that can be retried
// has no such line), and the next transaction starts clean.
TEST_F(DatabaseFacadeFaultTest, TransactionThatSqliteRolledBackStoresNoneOfItsWrites) {
    // Enough rows of 1 KB that the transaction's writes touch pages that the
    // file already holds, which SQLite copies to its journal at once.
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    const WString kilobyte(1000, OLESTR('x'));
    for (int i = 10; i < 60; ++i)
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), Wide(std::to_string(i)) + OLESTR(",") + kilobyte), 1);
    ASSERT_EQ(facade->CommitTransation(), S_OK);
    const std::vector<std::string> before = Keys();

    const WString rolledBack =
        OLESTR("; the transaction was rolled back and none of its writes were stored\r\nCOMMIT TRANSACTION;");
    struct Case {
        const char* name;
        bool faultInWrite;  // else at the commit
        std::function<void(FaultVfs&)> arm;
        std::vector<WString> lines;
    } const cases[] = {
        {"I/O error in a write", true, [](FaultVfs& v) { v.FailWrites(SQLITE_IOERR_WRITE); },
         {OLESTR("SQLITE_IOERR[10]: disk I/O error") + rolledBack}},
        {"disk full at the commit", false, [](FaultVfs& v) { v.FullAfter(0); },
         {OLESTR("CommitTransation Error:database or disk is full"),
          OLESTR("SQLITE_FULL[13]: database or disk is full") + rolledBack}},
        {"sync failure at the commit", false, [](FaultVfs& v) { v.FailSyncs(true); },
         {OLESTR("CommitTransation Error:disk I/O error"), OLESTR("SQLITE_IOERR[10]: disk I/O error") + rolledBack}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.lines.clear();
        ASSERT_EQ(facade->BeginTransation(), S_OK);
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("100,first")), 1);
        std::vector<WString> lines;
        if (c.faultInWrite) {
            c.arm(*vfs);
            EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("55,second")), 0);
            vfs->Heal();
            EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("101,third")), 0);
            EXPECT_EQ(facade->DeleteDBRecord(OLESTR("T"), OLESTR(""), OLESTR("")), 0);
            EXPECT_TRUE(facade->InTransaction());
            // The failing write's own line, then one for each write refused.
            const WString lost = OLESTR("SQLITE_IOERR[10]: disk I/O error; the transaction was rolled back, so this "
                                        "write was not run\r\n");
            lines = {OLESTR("SQLITE_IOERR[10]: disk I/O error\r\nREPLACE INTO T (k,v) VALUES ('55','second');"),
                     lost + OLESTR("REPLACE INTO T (k,v) VALUES ('101','third');"), lost + OLESTR("DELETE FROM T;")};
        } else {
            c.arm(*vfs);
        }
        EXPECT_EQ(facade->CommitTransation(), S_FALSE);
        vfs->Heal();
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(log.lines, lines);
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

// Power cuts. Each workload runs once in crash mode over a database in the
// data folder whose table T already holds committed rows; every disk image
// that a cut leaves, under both models, must open as a whole database (SQLite
// rolls a hot journal back) that is exactly the file as some answer left it
// (the rows of T, the tables and indexes): the last one before the cut, or
// the next when the call in flight got through. An older file means an
// answered step was lost; any other means part of a step was stored.
class PowerCutTest : public DatabaseFacadeFaultTest {
protected:
    using Table = std::map<std::string, std::string>;

    void SetUp() override {
        DatabaseFacadeFaultTest::SetUp();
        if (IsSkipped()) return;
        db = DefaultDataFolder() / "p.db";
        ASSERT_EQ(facade->CreateDbFile(OLESTR("p"), OLESTR("T"), OLESTR("k,v")), 1);
        // A small page cache, kept in the file, so that the import spills
        // pages to the file before its commit, as a large one does.
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(Utf8Path(db).c_str(), &connection), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(connection, "PRAGMA default_cache_size = 16;", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(connection);
        Answered({{"#table T", ""}, {"#index sqlite_autoindex_T_1", ""}});
        Import(0, 1000);
    }

    // Rows first .. last-1, imported and answered.
    void Import(int first, int last) {
        std::ostringstream text;
        Table next = states.back();
        for (int i = first; i < last; ++i) {
            text << "'" << Key(i) << "','" << Value(i, 1) << "';";
            next[Key(i)] = Value(i, 1);
        }
        std::ofstream(dir / "rows.txt", std::ios::binary) << text.str();
        ASSERT_EQ(facade->ImportDbFile(HostFile("rows.txt"), OLESTR("T"), OLESTR("k,v"), OLESTR(";"), OLESTR(",")), 1);
        Answered(next);
    }
    // Row i in version `version`, as InsertDBRecord stores it.
    void Insert(int i, int version, Table& into) {
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), Wide(Key(i) + "," + Value(i, version))), 1);
        into[Key(i)] = Value(i, version);
    }
    static std::string Key(int i) {
        std::string digits = std::to_string(i);
        return "k" + std::string(6 - digits.size(), '0') + digits;
    }
    static std::string Value(int i, int version) {
        return "v" + std::to_string(version) + "-" + std::string(static_cast<size_t>(20 + i % 60), 'a' + i % 26);
    }

    // The step that left table is answered; the file holds it.
    void Answered(const Table& table) {
        states.push_back(table);
        texts.push_back(Text(table));
        if (recorder) recorder->Answered(static_cast<int>(states.size() - 1));
        EXPECT_EQ(Contents(db), texts.back());
    }
    void StartRecording() {
        recorder = std::make_unique<CrashRecorder>(DefaultDataFolder());
        first = states.size() - 1;
        vfs->Record(recorder.get());
    }

    // Cuts the recorded run under both models.
    void ExpectCutsHarmless(const CrashRecorder::Plan& plan) {
        vfs->Record(nullptr);
        ASSERT_GT(recorder->Events(), 0u);
#ifndef _WIN32
        // SQLite syncs folders on Linux: without seeing them the strict model
        // would prove nothing.
        ASSERT_TRUE(FaultVfs::SeesFolderSyncs());
        EXPECT_GT(recorder->FolderSyncs(), 0u) << "no sync of the folder seen";
#endif
        for (const CrashRecorder::Model model : {CrashRecorder::Model::Eager, CrashRecorder::Model::Strict}) {
            const bool strict = model == CrashRecorder::Model::Strict;
            if (strict && !FaultVfs::SeesFolderSyncs()) continue;
            size_t images = 0, corrupt = 0, lost = 0, partial = 0;
            std::string firstFault;
            recorder->Cut(model, plan, dir / "image", [&](const fs::path& image, int step) {
                ++images;
                // Steps are numbered as states; none yet: the recording's first.
                const size_t answered = std::max(first, static_cast<size_t>(step));
                std::string fault;
                if (!Whole(image / db.filename())) {
                    ++corrupt;
                    fault = "corrupt";
                } else {
                    const auto at = std::find(texts.begin(), texts.end(), Contents(image / db.filename()));
                    if (at == texts.end()) {
                        ++partial;
                        fault = "partly stored";
                    } else if (static_cast<size_t>(at - texts.begin()) < answered) {
                        ++lost;
                        fault = "lost answered step " + std::to_string(answered);
                    }
                }
                if (!fault.empty() && firstFault.empty())
                    firstFault = fault + " in a cut with step " + std::to_string(answered) + " answered";
            });
            EXPECT_EQ(corrupt + lost + partial, 0u)
                << (strict ? "strict" : "eager") << " model: of " << images << " images " << corrupt << " corrupt, "
                << lost << " lost an answered step, " << partial << " hold part of a step; first: " << firstFault;
        }
    }

    // Whether SQLite finds the database file at file whole, after rolling
    // back any hot journal.
    static bool Whole(const fs::path& file) {
        sqlite3* connection = nullptr;
        sqlite3_stmt* statement = nullptr;
        bool ok = sqlite3_open(Utf8Path(file).c_str(), &connection) == SQLITE_OK &&
                  sqlite3_prepare_v2(connection, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
                  sqlite3_step(statement) == SQLITE_ROW &&
                  std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) == "ok" &&
                  sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_finalize(statement);
        sqlite3_close(connection);
        return ok;
    }
    // The rows of T in the database file at file and its tables and indexes
    // (as keys "#table T", "#index ..."), a line each in key order as Text
    // gives them; empty when the file cannot be read.
    static std::string Contents(const fs::path& file) {
        std::string text;
        sqlite3* connection = nullptr;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_open(Utf8Path(file).c_str(), &connection) == SQLITE_OK &&
            sqlite3_prepare_v2(connection,
                               "SELECT k || char(9) || v FROM T UNION ALL "
                               "SELECT '#' || type || ' ' || name || char(9) FROM sqlite_master ORDER BY 1",
                               -1, &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                text.append(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))).push_back('\n');
        sqlite3_finalize(statement);
        sqlite3_close(connection);
        return text;
    }
    static std::string Text(const Table& table) {
        std::string text;
        for (const auto& [key, value] : table) text.append(key).append("\t").append(value).push_back('\n');
        return text;
    }

    fs::path db;
    std::vector<Table> states;  // the file as each answered step left it
    std::vector<std::string> texts;  // the same as Contents gives them
    size_t first = 0;           // the state the recording starts from
    std::unique_ptr<CrashRecorder> recorder;
};

// An import into a table that holds rows, larger than the page cache.
TEST_F(PowerCutTest, ImportIsAllOrNothingAndDurableOnceAnswered) {
    StartRecording();
    Import(1000, 3000);
    ExpectCutsHarmless({18, 40, 12});
}

// Two transactions that add rows and replace committed ones.
TEST_F(PowerCutTest, CommittedTransactionIsAllOrNothingAndDurableOnceAnswered) {
    StartRecording();
    for (int round = 0; round < 2; ++round) {
        Table next = states.back();
        ASSERT_EQ(facade->BeginTransation(), S_OK);
        for (int i = 0; i < 300; ++i) Insert(round * 1000 + i * 7, 2 + round, next);
        ASSERT_EQ(facade->CommitTransation(), S_OK);
        Answered(next);
    }
    ExpectCutsHarmless({19, 40, 8});
}

// Tables created in the file, one with the keys and indexes that table
// options give.
TEST_F(PowerCutTest, CreatedTableIsWholeAndDurableOnceAnswered) {
    StartRecording();
    Table next = states.back();
    ASSERT_EQ(facade->CreateDbFile(OLESTR("p"), OLESTR("U"), OLESTR("a,b")), 1);
    next.insert({{"#table U", ""}, {"#index sqlite_autoindex_U_1", ""}});
    Answered(next);
    ASSERT_EQ(facade->CreateDbFile(OLESTR("p"), OLESTR("V|1|0|2|2"), OLESTR("a,b,c")), 1);
    next.insert({{"#table V", ""}, {"#index sqlite_autoindex_V_1", ""}, {"#index V-0", ""}, {"#index V-1", ""},
                 {"#index V-2", ""}});
    Answered(next);
    ExpectCutsHarmless({21, 30, 6});
}

// Writes one by one outside a transaction: new rows and replaced ones.
TEST_F(PowerCutTest, SingleWritesAreWholeAndDurableOnceAnswered) {
    StartRecording();
    for (int i = 0; i < 20; ++i) {
        Table next = states.back();
        Insert(i % 2 == 0 ? 990 + i : 3000 + i, 2, next);
        Answered(next);
    }
    ExpectCutsHarmless({20, 40, 2});
}
}  // namespace

