// Record writing and querying against a real database file.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
class DatabaseFacadeRecordsTest : public FacadeFixture {
protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        file = dir / "r.db";
        ASSERT_EQ(facade->CreateDbFile(StarFile("r.db"), OLESTR("T"), OLESTR("id,name,note")), 1);
    }
    std::vector<std::string> Table() const { return Rows(file, "SELECT id, name, note FROM T ORDER BY id"); }
    fs::path file;
};

// Outside a transaction each insert runs as its statement text; inside one,
// a plain insert runs with its values bound, and stores the same rows.
TEST_F(DatabaseFacadeRecordsTest, InsertQuotesSplitsAndReplaces) {
    struct Case { const OLECHAR* columns; const OLECHAR* value; LONG ret; } const cases[] = {
        {OLESTR("id,name,note"), OLESTR("1,it's,'"), 1},
        {OLESTR("id,name,note"), OLESTR("2;a,b;c||;"), 1},       // separator suffix
        {OLESTR("id,name,note"), OLESTR("4##x##y||##"), 1},      // several characters split only as a whole
        {OLESTR("id"), OLESTR(""), 0},                           // VALUES () is rejected
        {OLESTR("id,name"), OLESTR("1"), 0},                     // count mismatch caught by SQLite
        {OLESTR("id,name"), OLESTR("1,replaced"), 1},            // key collision replaces the row
        {OLESTR("id,name"), OLESTR("A,nocase"), 1},
        {OLESTR("id,name"), OLESTR("a,replaces A"), 1},          // the key compares without case
        {OLESTR("id, name ,note"), OLESTR("5,?1,:x"), 1},        // parameter marks are plain text
        {OLESTR("id,name,note"), OLESTR("6'x'y||''"), 1},        // a quote in the separator
        {OLESTR("\"id\",[name]"), OLESTR("7,quoted names"), 1},  // names that are not plain
        {OLESTR("id,name,note"), OLESTR("8,,x"), 1},             // an empty value is an empty text
    };
    const std::vector<std::string> stored{"1|replaced|~", "2|a,b|c", "4|x|y", "5|?1|:x", "6|x|y",
                                          "7|quoted names|~", "8||x", "a|replaces A|~"};
    // The two rejected statements, logged alike inside a transaction and out.
    const std::vector<WString> rejected{
        OLESTR("SQLITE_ERROR[1]: near \")\": syntax error\r\nREPLACE INTO T (id) VALUES ();"),
        OLESTR("SQLITE_ERROR[1]: 1 values for 2 columns\r\nREPLACE INTO T (id,name) VALUES ('1');")};
    for (const bool inside : {false, true}) {
        SCOPED_TRACE(inside ? "inside a transaction" : "outside a transaction");
        ASSERT_EQ(facade->DeleteDBRecord(OLESTR("T"), OLESTR(""), OLESTR("")), 1);
        log.lines.clear();
        if (inside) {
            ASSERT_EQ(facade->BeginTransation(), S_OK);
        }
        for (const Case& c : cases)
            EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), c.columns, c.value), c.ret) << Narrow(c.value);
        if (inside) {
            ASSERT_EQ(facade->CommitTransation(), S_OK);
        }
        EXPECT_EQ(Table(), stored);
        EXPECT_EQ(log.lines, rejected);
    }
}

TEST_F(DatabaseFacadeRecordsTest, UpdatePairsColumnsWithValuesOrRunsNothing) {
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name"), OLESTR("1,x")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name"), OLESTR("2,%")), 1);
    const std::string before = Bytes(file);
    // Nothing runs; the one line gives both counts.
    struct Mismatch {
        const OLECHAR* conditionCol;
        const OLECHAR* conditionVal;
        const OLECHAR* newCol;
        const OLECHAR* newVal;
        const OLECHAR* line;
    } const mismatches[] = {
        {OLESTR(""), OLESTR(""), OLESTR("name,note"), OLESTR("x"),
         OLESTR("UpdateDBRecord Error:NewCol and NewVal differ in count: 2 and 1")},
        {OLESTR("id"), OLESTR(""), OLESTR("name"), OLESTR("x"),
         OLESTR("UpdateDBRecord Error:ConditionCol and ConditionVal differ in count: 1 and 0")},
        {OLESTR("id,name"), OLESTR("1"), OLESTR("name"), OLESTR("x"),
         OLESTR("UpdateDBRecord Error:ConditionCol and ConditionVal differ in count: 2 and 1")},
        {OLESTR("id"), OLESTR(""), OLESTR("name;note||;"), OLESTR("a,b"),  // the suffix splits the new values too
         OLESTR("UpdateDBRecord Error:NewCol and NewVal differ in count: 2 and 1")},
    };
    for (const Mismatch& m : mismatches) {
        log.lines.clear();
        EXPECT_EQ(facade->UpdateDBRecord(OLESTR("T"), m.conditionCol, m.conditionVal, m.newCol, m.newVal), 0);
        EXPECT_EQ(log.lines, std::vector<WString>{m.line});
    }
    EXPECT_EQ(Bytes(file), before);
    log.lines.clear();

    EXPECT_EQ(facade->UpdateDBRecord(OLESTR("T"), OLESTR("id"), OLESTR("1"), OLESTR("name;note||;"), OLESTR("n'1;n2")),
              1);
    EXPECT_EQ(facade->UpdateDBRecord(OLESTR("T"), OLESTR("name"), OLESTR("x%"), OLESTR("note"), OLESTR("never")),
              1);  // "%" compares by equality
    EXPECT_EQ(facade->UpdateDBRecord(OLESTR("T"), OLESTR("name"), OLESTR("%"), OLESTR("note"), OLESTR("pct")), 1);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|n'1|n2", "2|%|pct"}));
}

TEST_F(DatabaseFacadeRecordsTest, DeleteChoosesPatternEqualityRawOrAll) {
    const OLECHAR* rows[] = {OLESTR("1,Ab1"),  OLESTR("2,Ab2"), OLESTR("3,Cd"), OLESTR("4,Ab%"),
                             OLESTR("5,it's"), OLESTR("6,z"),   OLESTR("7,z")};
    for (const OLECHAR* row : rows) ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name"), row), 1);
    struct Case { const char* what; const OLECHAR* conditionCol; const OLECHAR* conditionVal; LONG ret;
                  std::vector<std::string> idsLeft; } const cases[] = {
        {"raw condition with ';' deletes nothing", OLESTR("id=1; DROP TABLE T"), OLESTR(""), 0,
         {"1", "2", "3", "4", "5", "6", "7"}},
        {"equality does not match by pattern", OLESTR("name"), OLESTR("Ab"), 1, {"1", "2", "3", "4", "5", "6", "7"}},
        {"'%' matches by pattern", OLESTR("name,id"), OLESTR("Ab%,2"), 1, {"1", "3", "4", "5", "6", "7"}},
        {"quotes are doubled", OLESTR("name"), OLESTR("it's"), 1, {"1", "3", "4", "6", "7"}},
        {"count mismatch is rejected", OLESTR("id,name"), OLESTR("1"), 0, {"1", "3", "4", "6", "7"}},
        {"raw condition", OLESTR("id>'5'"), OLESTR(""), 1, {"1", "3", "4"}},
        {"pattern", OLESTR("name"), OLESTR("Ab%"), 1, {"3"}},
        {"empty ConditionCol deletes all", OLESTR(""), OLESTR("3"), 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(facade->DeleteDBRecord(OLESTR("T"), c.conditionCol, c.conditionVal), c.ret);
        EXPECT_EQ(Rows(file, "SELECT id FROM T ORDER BY id"), c.idsLeft);
    }
    // The refused raw condition, then the rejected statement with the counts.
    EXPECT_EQ(log.lines, (std::vector<WString>{
                             OLESTR("DeleteDBRecord Error:a raw condition may not hold \";\"\r\n"
                                    "DELETE FROM T WHERE id=1; DROP TABLE T;"),
                             OLESTR("SQLITE_ERROR[1]: incomplete input\r\nDELETE FROM T where "),
                             OLESTR("DeleteDBRecord Error:ConditionCol and ConditionVal differ in count: 2 and 1")}));
}

TEST_F(DatabaseFacadeRecordsTest, QueryDeliversNamesAndRowTexts) {
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name,note"), OLESTR("1,Ann,x")), 1);
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name"), OLESTR("2,Bob")), 1);  // note is NULL
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name,note"), OLESTR("3,it's,,")),
              1);  // a,, ends in an empty value
    struct Case { const OLECHAR* table; const OLECHAR* conditionCol; const OLECHAR* conditionVal; WString names;
                  std::vector<WString> rows; } const cases[] = {
        {OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("id,name,note"),
         {OLESTR("1|#|Ann|#|x"), OLESTR("2|#|Bob|#|"), OLESTR("3|#|it's|#|")}},
        {OLESTR("T#*#note,id"), OLESTR(""), OLESTR(""), OLESTR("note,id"), {OLESTR("x|#|1"), OLESTR("|#|2"), OLESTR("|#|3")}},
        {OLESTR("T#*#name AS n"), OLESTR("id"), OLESTR("2"), OLESTR("n"), {OLESTR("Bob")}},
        {OLESTR("T"), OLESTR("name"), OLESTR("it's"), OLESTR("id,name,note"), {OLESTR("3|#|it's|#|")}},
        {OLESTR("T#*#id"), OLESTR("name"), OLESTR("%o%"), OLESTR("id"), {OLESTR("2")}},
        {OLESTR("T#*#id"), OLESTR("id,name"), OLESTR("1,Ann"), OLESTR("id"), {OLESTR("1")}},
        {OLESTR("T#*#id"), OLESTR("id>'1' AND note IS NULL"), OLESTR(""), OLESTR("id"), {OLESTR("2")}},
        {OLESTR("T"), OLESTR("id"), OLESTR("9"), OLESTR("id,name,note"), {}},  // no rows: names only
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

// A row the RecordSet cannot store (out of memory) fails the query, through
// the module's own fast path and through SetRecordItem alike: false, a line
// with the row's number, and a set that holds no part of the result.
TEST_F(DatabaseFacadeRecordsTest, ARowTheRecordSetRefusesFailsTheQueryAndLeavesItEmpty) {
    for (int id = 1; id <= 3; ++id)
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,name"), Wide(std::to_string(id)) + OLESTR(",n")), 1);
    for (const bool rowsInterface : {true, false}) {
        SCOPED_TRACE(rowsInterface ? "AppendRow" : "SetRecordItem");
        log.lines.clear();
        QueryResult result = Query(OLESTR("T"), OLESTR(""), OLESTR(""), 2, rowsInterface);
        EXPECT_FALSE(result.succeeded);
        EXPECT_EQ(result.names, WString(OLESTR("id,name,note")));
        EXPECT_TRUE(result.rows.empty());
        EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("GetDBRecordSet Error:the RecordSet could not store row 3 "
                                                         "(out of memory), so it holds no rows\r\nSELECT * FROM T;")});
    }
}

TEST_F(DatabaseFacadeRecordsTest, FailedQueriesLeaveTheRecordSetUntouched) {
    // sql: the second line of the message; then the line that says why,
    // where SQLite's does not.
    struct Case { const OLECHAR* table; const OLECHAR* conditionCol; const OLECHAR* conditionVal; const OLECHAR* sql;
                  const OLECHAR* why; } const cases[] = {
        {OLESTR("Tx"), OLESTR(""), OLESTR(""), OLESTR("SELECT * FROM Tx;"), nullptr},
        {OLESTR("T#*#nmae"), OLESTR(""), OLESTR(""), OLESTR("SELECT nmae FROM T;"), nullptr},
        {OLESTR("T"), OLESTR("id=1; DROP TABLE T"), OLESTR(""), OLESTR(""),
         OLESTR("GetDBRecordSet Error:a raw condition may not hold \";\"\r\nSELECT * FROM T WHERE id=1; DROP TABLE T;")},
        {OLESTR("T#*#"), OLESTR(""), OLESTR(""), OLESTR("SELECT  FROM T#*#;"), nullptr},
        {OLESTR("T"), OLESTR("id,name"), OLESTR("1"), OLESTR("SELECT * FROM T WHERE "),
         OLESTR("GetDBRecordSet Error:ConditionCol and ConditionVal differ in count: 2 and 1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.table) + " " + Narrow(c.conditionCol));
        log.lines.clear();
        QueryResult result = Query(c.table, c.conditionCol, c.conditionVal);
        EXPECT_FALSE(result.succeeded);
        EXPECT_FALSE(result.names.has_value());
        ASSERT_EQ(log.lines.size(), c.why ? 2u : 1u);
        const size_t split = log.lines[0].find(OLESTR("\r\n"));
        ASSERT_NE(split, WString::npos);
        EXPECT_EQ(log.lines[0].substr(split + 2), c.sql);
        if (c.why) {
            EXPECT_EQ(log.lines[1], c.why);
        }
    }
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM sqlite_master WHERE name='T'"), std::vector<std::string>{"1"});

    // A missing file: no call on the RecordSet, nothing created, and a line
    // with the file's path and the statement.
    MakeFacade();
    log.lines.clear();
    QueryResult result = Query(OLESTR("T"));
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.names.has_value());
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("GetDBRecordSet Error:the database file ") + kDefaultFolder +
                                              OLESTR("API_db.db does not exist\r\nSELECT * FROM T;")});
    EXPECT_FALSE(fs::exists(DefaultDataFolder() / "API_db.db"));
}

// A lone UTF-16 surrogate becomes U+FFFD before any text reaches SQLite, on
// every path, so it can never join the quote that closes a value: no value
// runs as SQL, and "a" U+D83D "b" is stored as "a" U+FFFD "b".
TEST_F(DatabaseFacadeRecordsTest, LoneSurrogatesBecomeReplacementCharactersOnEveryPath) {
    auto text = [](const char* before, OLECHAR unit, const char* after) {
        return Wide(before) + unit + Wide(after);
    };
    const OLECHAR high = 0xD83D, low = 0xDC00;
    // The two injections: a sub-query's output stored as a value, and a
    // condition that matches every row.
    const WString subQuery = text("x", 0xD800, "~,(SELECT group_concat(name) FROM sqlite_master))--||~");
    const WString everyRow = text("x", low, ", OR 1=1 --");
    const std::string fffd = "\xEF\xBF\xBD";
    const std::vector<std::string> untouched = {"1|one", "2|two"};
    auto with = [&](const std::string& third) { return std::vector<std::string>{"1|one", "2|two", third}; };
    using F = DatabaseFacade&;
    struct Case { const char* name; std::function<bool(F)> call; std::vector<std::string> rows; } const cases[] = {
        {"insert", [&](F f) { return f.InsertDBRecord(OLESTR("V"), OLESTR("id,val"), text("3,a", high, "b")) == 1; },
         with("3|a" + fffd + "b")},
        {"insert ending in one",
         [&](F f) { return f.InsertDBRecord(OLESTR("V"), OLESTR("id,val"), text("3,end", high, "")) == 1; },
         with("3|end" + fffd)},
        {"insert of a sub-query", [&](F f) { return f.InsertDBRecord(OLESTR("V"), OLESTR("id,val"), subQuery) == 1; },
         with("x" + fffd + "|,(SELECT group_concat(name) FROM sqlite_master))--")},
        {"update value",
         [&](F f) { return f.UpdateDBRecord(OLESTR("V"), OLESTR("id"), OLESTR("1"), OLESTR("val"), text("a", low, "b")) == 1; },
         {"1|a" + fffd + "b", "2|two"}},
        {"update condition",
         [&](F f) { return f.UpdateDBRecord(OLESTR("V"), OLESTR("id,val"), everyRow, OLESTR("val"), OLESTR("hit")) == 1; },
         untouched},
        {"delete condition", [&](F f) { return f.DeleteDBRecord(OLESTR("V"), OLESTR("id,val"), everyRow) == 1; },
         untouched},
        {"query condition",
         [&](F) {
             const QueryResult result = Query(OLESTR("V"), OLESTR("id,val"), everyRow);
             return result.succeeded && result.rows.empty();
         },
         untouched},
        {"insert inside a transaction",
         [&](F f) {
             return f.BeginTransation() == S_OK &&
                    f.InsertDBRecord(OLESTR("V"), OLESTR("id,val"), text("3,a", high, "b")) == 1 &&
                    f.CommitTransation() == S_OK;
         },
         with("3|a" + fffd + "b")},
        {"import",
         [&](F f) {
             // UTF-16LE with its byte-order mark: "'3','a" U+D83D "b';"
             std::ofstream out(dir / "v.txt", std::ios::binary);
             for (OLECHAR unit : OLESTR("\uFEFF'3','a") + WString(1, high) + OLESTR("b';"))
                 out.put(static_cast<char>(unit & 0xFF)).put(static_cast<char>(unit >> 8));
             out.close();
             return f.ImportDbFile(HostFile("v.txt"), OLESTR("V"), OLESTR("id,val"), OLESTR(";"), OLESTR(",")) == 1;
         },
         with("3|a" + fffd + "b")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The import works on the data folder's file: every case starts there.
        ASSERT_EQ(facade->CreateDbFile(OLESTR("v"), OLESTR("V"), OLESTR("id,val")), 1);
        ASSERT_EQ(facade->DeleteDBRecord(OLESTR("V"), OLESTR(""), OLESTR("")), 1);
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("V"), OLESTR("id,val"), OLESTR("1,one")), 1);
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("V"), OLESTR("id,val"), OLESTR("2,two")), 1);
        EXPECT_TRUE(c.call(*facade));
        EXPECT_EQ(Rows(DefaultDataFolder() / "v.db", "SELECT id, val FROM V ORDER BY id"), c.rows);
    }
    // A condition with a surrogate finds the values stored with U+FFFD.
    ASSERT_EQ(facade->InsertDBRecord(OLESTR("V"), OLESTR("id,val"), text("4,a", high, "b")), 1);
    EXPECT_EQ(Query(OLESTR("V#*#id"), OLESTR("val"), text("a", low, "b")).rows,
              (std::vector<WString>{OLESTR("3"), OLESTR("4")}));
}
}  // namespace
