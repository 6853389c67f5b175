// Record writing and querying against a real database file.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
class DatabaseFacadeRecordsTest : public FacadeFixture {
protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        file = dir / "r.db";
        ASSERT_EQ(facade->CreateDbFile(StarFile("r.db"), u"T", u"id,name,note"), 1);
    }
    std::vector<std::string> Table() const { return Rows(file, "SELECT id, name, note FROM T ORDER BY id"); }
    fs::path file;
};

TEST_F(DatabaseFacadeRecordsTest, InsertQuotesSplitsAndReplaces) {
    struct Case {
        const char16_t* columns;
        const char16_t* value;
        LONG ret;
    } const cases[] = {
        {u"id,name,note", u"1,it's,'", 1},
        {u"id,name,note", u"2;a,b;c||;", 1},       // separator suffix
        {u"id,name,note", u"3#x#y||#", 1},
        {u"id,name,note", u"4##x##y||##", 1},      // several characters split only as a whole
        {u"id,name", u"5, sp", 1},                 // spaces stay inside the quotes
        {u"id,name", u"6,100%", 1},
        {u"id,name", u"7,a||", 1},                 // empty suffix: the separator stays ","
        {u"id", u"", 0},                           // VALUES () is rejected
        {u"id,name", u"1", 0},                     // count mismatch caught by SQLite
        {u"id,name", u"1,replaced", 1},            // key collision replaces the row
        {u"id,name", u"A,nocase", 1},
        {u"id,name", u"a,replaces A", 1},          // the key compares without case
    };
    for (const Case& c : cases)
        EXPECT_EQ(facade->InsertDBRecord(u"T", c.columns, c.value), c.ret) << Narrow(c.value);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|replaced|~", "2|a,b|c", "3|x|y", "4|x|y", "5| sp|~",
                                                 "6|100%|~", "7|a|~", "a|replaces A|~"}));
    EXPECT_EQ(log.lines.size(), 2u);  // the two rejected statements
}

TEST_F(DatabaseFacadeRecordsTest, UpdatePairsColumnsWithValuesOrRunsNothing) {
    ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name", u"1,x"), 1);
    ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name", u"2,%"), 1);
    const std::string before = Bytes(file);
    struct Mismatch {
        const char16_t* conditionCol;
        const char16_t* conditionVal;
        const char16_t* newCol;
        const char16_t* newVal;
    } const mismatches[] = {
        {u"", u"", u"name,note", u"x"},
        {u"id", u"", u"name", u"x"},
        {u"id,name", u"1", u"name", u"x"},
        {u"", u"", u"name;note||;", u"a,b"},  // the suffix splits the new values too
    };
    for (const Mismatch& m : mismatches)
        EXPECT_EQ(facade->UpdateDBRecord(u"T", m.conditionCol, m.conditionVal, m.newCol, m.newVal), 0);
    EXPECT_EQ(Bytes(file), before);
    EXPECT_TRUE(log.lines.empty());

    EXPECT_EQ(facade->UpdateDBRecord(u"T", u"id", u"1", u"name;note||;", u"n'1;n2"), 1);
    EXPECT_EQ(facade->UpdateDBRecord(u"T", u"name", u"x%", u"note", u"never"), 1);  // "%" compares by equality
    EXPECT_EQ(facade->UpdateDBRecord(u"T", u"name", u"%", u"note", u"pct"), 1);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|n'1|n2", "2|%|pct"}));
}

TEST_F(DatabaseFacadeRecordsTest, DeleteChoosesPatternEqualityRawOrAll) {
    const char16_t* rows[] = {u"1,Ab1", u"2,Ab2", u"3,Cd", u"4,Ab%", u"5,it's", u"6,z", u"7,z"};
    for (const char16_t* row : rows) ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name", row), 1);
    struct Case {
        const char* what;
        const char16_t* conditionCol;
        const char16_t* conditionVal;
        LONG ret;
        std::vector<std::string> idsLeft;
    } const cases[] = {
        {"raw condition with ';' deletes nothing", u"id=1; DROP TABLE T", u"", 1, {"1", "2", "3", "4", "5", "6", "7"}},
        {"equality does not match by pattern", u"name", u"Ab", 1, {"1", "2", "3", "4", "5", "6", "7"}},
        {"'%' matches by pattern", u"name,id", u"Ab%,2", 1, {"1", "3", "4", "5", "6", "7"}},
        {"quotes are doubled", u"name", u"it's", 1, {"1", "3", "4", "6", "7"}},
        {"count mismatch is rejected", u"id,name", u"1", 0, {"1", "3", "4", "6", "7"}},
        {"raw condition", u"id>'5'", u"", 1, {"1", "3", "4"}},
        {"pattern", u"name", u"Ab%", 1, {"3"}},
        {"empty ConditionCol deletes all", u"", u"3", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(facade->DeleteDBRecord(u"T", c.conditionCol, c.conditionVal), c.ret);
        EXPECT_EQ(Rows(file, "SELECT id FROM T ORDER BY id"), c.idsLeft);
    }
    EXPECT_EQ(log.lines.size(), 1u);  // only the rejected statement
}

TEST_F(DatabaseFacadeRecordsTest, QueryDeliversNamesAndRowTexts) {
    ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name,note", u"1,Ann,x"), 1);
    ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name", u"2,Bob"), 1);  // note is NULL
    ASSERT_EQ(facade->InsertDBRecord(u"T", u"id,name,note", u"3,it's,,"), 1);  // a,, ends in an empty value
    struct Case {
        const char16_t* table;
        const char16_t* conditionCol;
        const char16_t* conditionVal;
        WString names;
        std::vector<WString> rows;
    } const cases[] = {
        {u"T", u"", u"", u"id,name,note", {u"1|#|Ann|#|x", u"2|#|Bob|#|", u"3|#|it's|#|"}},
        {u"T#*#note,id", u"", u"", u"note,id", {u"x|#|1", u"|#|2", u"|#|3"}},
        {u"T#*#name AS n", u"id", u"2", u"n", {u"Bob"}},
        {u"T", u"name", u"it's", u"id,name,note", {u"3|#|it's|#|"}},
        {u"T#*#id", u"name", u"%o%", u"id", {u"2"}},
        {u"T#*#id", u"id,name", u"1,Ann", u"id", {u"1"}},
        {u"T#*#id", u"id>'1' AND note IS NULL", u"", u"id", {u"2"}},
        {u"T", u"id", u"9", u"id,name,note", {}},  // no rows: names only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.table) + " " + Narrow(c.conditionCol));
        QueryResult result = Query(c.table, c.conditionCol, c.conditionVal);
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(result.names, c.names);
        EXPECT_EQ(result.rows, c.rows);
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeRecordsTest, FailedQueriesLeaveTheRecordSetUntouched) {
    struct Case {
        const char16_t* table;
        const char16_t* conditionCol;
        const char16_t* conditionVal;
        const char16_t* sql;  // the second line of the message; null: no message expected
    } const cases[] = {
        {u"Tx", u"", u"", u"SELECT * FROM Tx;"},
        {u"T#*#nmae", u"", u"", u"SELECT nmae FROM T;"},
        {u"T", u"id=1; DROP TABLE T", u"", u""},
        {u"T#*#", u"", u"", u"SELECT  FROM T#*#;"},
        {u"T", u"id,name", u"1", u"SELECT * FROM T WHERE "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.table) + " " + Narrow(c.conditionCol));
        log.lines.clear();
        QueryResult result = Query(c.table, c.conditionCol, c.conditionVal);
        EXPECT_FALSE(result.succeeded);
        EXPECT_FALSE(result.names.has_value());
        ASSERT_EQ(log.lines.size(), 1u);
        const size_t split = log.lines[0].find(u"\r\n");
        ASSERT_NE(split, WString::npos);
        EXPECT_EQ(log.lines[0].substr(split + 2), c.sql);
    }
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM sqlite_master WHERE name='T'"), std::vector<std::string>{"1"});

    // A missing file: no message, no call on the RecordSet, nothing created.
    MakeFacade();
    log.lines.clear();
    QueryResult result = Query(u"T");
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.names.has_value());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "API_db.db"));
}
}  // namespace
