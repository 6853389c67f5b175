// Transactions (visibility, joining, rollback at destruction) and DropTable.
// A commit against a reader and a transaction that SQLite ended are machine
// faults, with their own tests.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {

class DatabaseFacadeTransactionTest : public FacadeFixture {
protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        file = dir / "t.db";
        ASSERT_EQ(facade->CreateDbFile(StarFile("t.db"), OLESTR("T"), OLESTR("k,v")), 1);
    }
    size_t Count() { return Query(OLESTR("T")).rows.size(); }
    fs::path file;
};

TEST_F(DatabaseFacadeTransactionTest, RowsAppearOnlyAtTheCommit) {
    EXPECT_EQ(facade->CommitTransation(), S_OK);  // none open: nothing to do
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    ASSERT_EQ(facade->BeginTransation(), S_OK);  // joins the open one
    facade->Disconnect();                         // leaves it open
    for (const OLECHAR* row : {OLESTR("1,a"), OLESTR("2,b"), OLESTR("3,c")})
        EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), row), 1);
    EXPECT_EQ(facade->UpdateDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("2"), OLESTR("v"), OLESTR("B")), 1);
    EXPECT_EQ(facade->DeleteDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("3")), 1);
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_FALSE(facade->InTransaction());
    EXPECT_EQ(Rows(file, "SELECT * FROM T ORDER BY k"), (std::vector<std::string>{"1|a", "2|B"}));
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeTransactionTest, DestructionWithATransactionOpenRollsBack) {
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,a")), 1);
    MakeFacade();
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM T"), std::vector<std::string>{"0"});
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeTransactionTest, TransactionKeepsItsFileWhenAnotherBecomesCurrent) {
    ASSERT_EQ(facade->BeginTransation(), S_OK);
    ASSERT_EQ(facade->CreateDbFile(StarFile("other.db"), OLESTR("T"), OLESTR("k,v")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,a")), 1);
    ASSERT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM T"), std::vector<std::string>{"1"});
    EXPECT_EQ(Rows(dir / "other.db", "SELECT count(*) FROM T"), std::vector<std::string>{"0"});
}

TEST_F(DatabaseFacadeTransactionTest, DropTableDropsOrReportsAndLeavesPlRet) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR(""), OLESTR("U"), OLESTR("k")), 1);
    LONG ret = 7;
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR("U"), &ret), S_OK);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(Rows(file, "SELECT name FROM sqlite_master WHERE type='table'"), std::vector<std::string>{"T"});
    EXPECT_TRUE(log.lines.empty());

    ret = 7;
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR("U"), &ret), S_FALSE);
    EXPECT_EQ(ret, 7);
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("SQLITE_ERROR[1]: no such table: U\r\nDrop Table U;")});
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR("T"), nullptr), S_OK);
}

TEST_F(DatabaseFacadeTransactionTest, DropTableWithoutTableDeletesTheFileWhichIsRebuiltEmpty) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k,v")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("1,old")), 1);
    LONG ret = 7;
    EXPECT_EQ(facade->DropTable(OLESTR(""), OLESTR(""), &ret), S_OK);
    EXPECT_EQ(ret, 7);
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "a.db"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(log.lines.empty());

    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("k,v"), OLESTR("2,new")), 1);
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("File not exist:") + kDefaultFolder + OLESTR("a.db")});
    EXPECT_EQ(pauses, std::vector<DWORD>{500});
    EXPECT_EQ(Rows(DefaultDataFolder() / "a.db", "SELECT * FROM T"), std::vector<std::string>{"2|new"});
}

TEST_F(DatabaseFacadeTransactionTest, DropTableWithFileNameActsOnThatFileOnly) {
    ASSERT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k")), 1);
    ASSERT_EQ(facade->CreateDbFile(OLESTR("b"), OLESTR("T"), OLESTR("k")), 1);
    LONG ret = 0;
    EXPECT_EQ(facade->DropTable(OLESTR("a"), OLESTR("T"), &ret), S_OK);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(facade->CurrentFileName(), OLESTR("a.db"));
    EXPECT_EQ(facade->CurrentPath(), kDefaultFolder + OLESTR("a.db"));
    EXPECT_EQ(Rows(DefaultDataFolder() / "a.db", "SELECT count(*) FROM sqlite_master"), std::vector<std::string>{"0"});
    EXPECT_EQ(Rows(DefaultDataFolder() / "b.db", "SELECT count(*) FROM sqlite_master WHERE name='T'"),
              std::vector<std::string>{"1"});

    EXPECT_EQ(facade->DropTable(OLESTR("b"), OLESTR(""), nullptr), S_OK);
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "b.db"));
    EXPECT_TRUE(fs::exists(DefaultDataFolder() / "a.db"));
}
}  // namespace
