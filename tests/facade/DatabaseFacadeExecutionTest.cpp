// Running statements: the existence test, failure lines, the rebuild from the
// creation list, and the batch path.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {

using DatabaseFacadeExecutionTest = FacadeFixture;

TEST_F(DatabaseFacadeExecutionTest, EmptyStatementRunsNothingAndSucceeds) {
    ASSERT_EQ(facade->CreateDbFile(StarFile("e.db"), OLESTR("T"), OLESTR("k")), 1);
    EXPECT_TRUE(facade->DoExecSqlCommand(OLESTR("")));
    EXPECT_EQ(facade->RunSqlCommand(OLESTR("")), 1);
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    EXPECT_EQ(facade->RunSqlCommand(OLESTR("")), 1);
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeExecutionTest, FailuresAreLoggedWithTheStatementInsideATransactionAndOut) {
    ASSERT_EQ(facade->CreateDbFile(StarFile("f.db"), OLESTR("T"), OLESTR("k")), 1);
    const WString line = OLESTR("SQLITE_ERROR[1]: no such table: Nope\r\nREPLACE INTO Nope (k) VALUES ('1');");
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("Nope"), OLESTR("k"), OLESTR("1")), 0);
    EXPECT_EQ(log.lines, std::vector<WString>{line});
    log.lines.clear();
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("Nope"), OLESTR("k"), OLESTR("1")), 0);
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("2")), 1);  // the transaction goes on
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_EQ(log.lines, std::vector<WString>{line});
    EXPECT_EQ(Rows(dir / "f.db", "SELECT k FROM T"), std::vector<std::string>{"2"});
}

TEST_F(DatabaseFacadeExecutionTest, FolderCountsAsPresentSoTheOpenFails) {
    fs::create_directory(dir / "folder");
    facade->CreateDbFile(StarFile("folder"), OLESTR("T"), OLESTR("k"));
    facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k"));  // a rebuild would have something to replay
    facade->CreateDbFile(StarFile("folder"), OLESTR("T"), OLESTR("k"));
    log.lines.clear();
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("1")), 0);
    ASSERT_EQ(log.lines.size(), 1u);
    const WString sql = OLESTR("\r\nREPLACE INTO T (k) VALUES ('1');");
    const WString& line = log.lines[0];
    EXPECT_EQ(line.substr(0, 7), OLESTR("SQLITE_")) << Narrow(line);
    ASSERT_GT(line.size(), sql.size());
    EXPECT_EQ(line.substr(line.size() - sql.size()), sql);
    EXPECT_TRUE(pauses.empty());
}

// An empty file is present (no rebuild): a write into it fails on the
// missing table and leaves it empty, and the database that CreateDbFile then
// makes in it is UTF-16, as every database of the component is.
TEST_F(DatabaseFacadeExecutionTest, EmptyFileIsPresentAndStaysEmptyUntilCreated) {
    facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k"));  // a rebuild would have something to replay
    facade->CreateDbFile(StarFile("empty.db"), OLESTR("T"), OLESTR("k"));
    fs::resize_file(dir / "empty.db", 0);
    log.lines.clear();
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("1")), 0);
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR("IF EXISTS T"), nullptr), S_OK);
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("SQLITE_ERROR[1]: no such table: T\r\n")
                                              OLESTR("REPLACE INTO T (k) VALUES ('1');")});
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(fs::file_size(dir / "empty.db"), 0u);
    ASSERT_EQ(facade->CreateDbFile(StarFile("empty.db"), OLESTR("T"), OLESTR("k")), 1);
    EXPECT_EQ(Rows(dir / "empty.db", "PRAGMA encoding"), std::vector<std::string>{"UTF-16le"});
}

struct RebuildCase {
    const char* what;
    bool viaTransaction;  // BeginTransation instead of an insert
};

class RebuildTest : public FacadeFixture, public ::testing::WithParamInterface<RebuildCase> {
protected:
    // Runs the operation that finds the file missing; true when it succeeded.
    bool Run(const WString& table, const WString& columns, const WString& values) {
        if (!GetParam().viaTransaction) return facade->InsertDBRecord(table, columns, values) == 1;
        if (facade->BeginTransation() != S_OK) return false;
        const bool stored = facade->InsertDBRecord(table, columns, values) == 1;
        return facade->CommitTransation() == S_OK && stored;
    }
    WString Missing(const WString& path) const {
        return (GetParam().viaTransaction ? OLESTR("BeginTransation File not exist:") : OLESTR("File not exist:")) +
               path;
    }
    WString Failure(const WString& text) const {
        return (GetParam().viaTransaction ? OLESTR("BeginTransation Error:") : OLESTR("DoExecSqlCommand Error:")) +
               text;
    }
};

TEST_P(RebuildTest, ReplaysEveryEntryAndGoesOnWithTheLastFile) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("TA"), OLESTR("k,v")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("TA"), OLESTR("k,v"), OLESTR("old,row")), 1);
    ASSERT_EQ(facade->CreateDbFile(OLESTR("b"), OLESTR("TB|0"), OLESTR("k,v")), 1);
    fs::remove(DefaultDataFolder() / "a.db");
    fs::remove(DefaultDataFolder() / "b.db");
    log.lines.clear();

    EXPECT_TRUE(Run(OLESTR("TB"), OLESTR("k,v"), OLESTR("1,2")));
    EXPECT_EQ(log.lines, std::vector<WString>{Missing(kDefaultFolder + OLESTR("b.db"))});
    EXPECT_EQ(pauses, std::vector<DWORD>{500});
    EXPECT_EQ(facade->CurrentPath(), kDefaultFolder + OLESTR("b.db"));
    EXPECT_EQ(Rows(DefaultDataFolder() / "a.db", "SELECT count(*) FROM TA"), std::vector<std::string>{"0"});
    EXPECT_EQ(Rows(DefaultDataFolder() / "b.db", "SELECT * FROM TB"), std::vector<std::string>{"1|2"});
    EXPECT_TRUE(facade->Recording());
    EXPECT_EQ(facade->CreationList().size(), 2u);  // replays are not recorded
}

TEST_P(RebuildTest, EntryWithoutColumnsIsSkippedAndAloneFailsAfterThePause) {
    EXPECT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("")), 0);
    fs::remove(DefaultDataFolder() / "a.db");  // the open made it
    log.lines.clear();
    EXPECT_FALSE(Run(OLESTR("T"), OLESTR("k"), OLESTR("1")));
    EXPECT_EQ(log.lines, std::vector<WString>{Missing(kDefaultFolder + OLESTR("a.db"))});
    EXPECT_EQ(pauses, std::vector<DWORD>{500});
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "a.db"));
    EXPECT_FALSE(facade->InTransaction());
}

TEST_P(RebuildTest, FailingEntryStopsTheReplayWithoutPause) {
    EXPECT_EQ(facade->CreateDbFile(OLESTR("*D:\\data\\x.db"), OLESTR("T1|0"), OLESTR("k")), 0);
    ASSERT_EQ(facade->CreateDbFile(OLESTR("b"), OLESTR("T2"), OLESTR("k")), 1);
    fs::remove(DefaultDataFolder() / "b.db");
    log.lines.clear();

    if (GetParam().viaTransaction) {
        EXPECT_EQ(facade->BeginTransation(), S_FALSE);
        EXPECT_FALSE(facade->InTransaction());
    } else {
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T2"), OLESTR("k"), OLESTR("1")), 0);
    }
    EXPECT_EQ(log.lines, (std::vector<WString>{Missing(kDefaultFolder + OLESTR("b.db")), OLESTR("CreateDB open fail:14"),
                                               OLESTR("SQLITE_CANTOPEN[14]: unable to open database file\r\n"
                                                      "D:\\data\\x.db"),
                                               Failure(OLESTR("0, T1|0"))}));
    EXPECT_TRUE(pauses.empty());
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "b.db"));  // the later entry was not replayed

    EXPECT_TRUE(facade->Recording());
    facade->CreateDbFile(OLESTR("c"), OLESTR("T3"), OLESTR("k"));
    EXPECT_EQ(facade->CreationList().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Callers, RebuildTest,
                         ::testing::Values(RebuildCase{"DoExecSqlCommand", false},
                                           RebuildCase{"BeginTransation", true}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(DatabaseFacadeExecutionTest, RebuildReplaysThroughTheCreateCallSeam) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("T|0"), OLESTR("k,v")), 1);
    fs::remove(DefaultDataFolder() / "a.db");
    std::vector<WString> calls;
    facade->SetCreateCall([&](const WString& file, const WString& table, const WString& columns) {
        calls.push_back(file + OLESTR(" ") + table + OLESTR(" ") + columns);
        EXPECT_FALSE(facade->Recording());
        return facade->CreateDbFile(file, table, columns);
    });
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,2")), 1);
    EXPECT_EQ(calls, std::vector<WString>{OLESTR("a T|0 k,v")});
    EXPECT_EQ(facade->CreationList().size(), 1u);
}

TEST_F(DatabaseFacadeExecutionTest, NothingRecordedMeansNoRebuildAndNoPause) {
    EXPECT_EQ(facade->BeginTransation(), S_FALSE);
    EXPECT_EQ(log.lines,
              std::vector<WString>{OLESTR("BeginTransation File not exist:") + kDefaultFolder + OLESTR("API_db.db")});
    EXPECT_FALSE(facade->InTransaction());
    // The next write runs on its own and finds the file missing itself.
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("1")), 0);
    EXPECT_EQ(log.lines.back(), OLESTR("File not exist:") + kDefaultFolder + OLESTR("API_db.db"));
    EXPECT_TRUE(pauses.empty());
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "API_db.db"));
}

TEST_F(DatabaseFacadeExecutionTest, BatchIsAllOrNothingAndNeverCreatesTheFile) {
    EXPECT_FALSE(facade->ExecSqlBatch(OLESTR("CREATE TABLE X(a);")));
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "API_db.db"));
    EXPECT_TRUE(log.lines.empty());

    ASSERT_EQ(facade->CreateDbFile(StarFile("b.db"), OLESTR("T"), OLESTR("k,v")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,a")), 1);
    const std::string before = Bytes(dir / "b.db");
    EXPECT_FALSE(facade->ExecSqlBatch(OLESTR("INSERT INTO T VALUES('2','b'); UPDATE T SET v='z'; ")
                                      OLESTR("INSERT INTO Nope VALUES('3');")));
    EXPECT_EQ(Bytes(dir / "b.db"), before);
    EXPECT_FALSE(fs::exists(dir / "b.db-journal"));
    EXPECT_TRUE(facade->ExecSqlBatch(OLESTR("INSERT INTO T VALUES('2','b'); UPDATE T SET v='z';")));
    EXPECT_EQ(Rows(dir / "b.db", "SELECT * FROM T ORDER BY k"), (std::vector<std::string>{"1|z", "2|z"}));
    EXPECT_TRUE(log.lines.empty());
}
}  // namespace
