#include "facade/SchemaCreator.h"

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
// The schema made for one table argument, read back through SQLite itself.
class SchemaCreatorTest : public FacadeFixture {
protected:
    bool Create(const char* file, const char* tableArgument, const char* columns) {
        SchemaCreator::TableOptions options;
        WString table = SchemaCreator::ParseTableArgument(Wide(tableArgument), options);
        return SchemaCreator::CreateDB(log, HostFile(file), table, Wide(columns), options);
    }
};

struct SchemaCase {
    const char* tableArgument;
    const char* table;
    std::vector<std::string> indexes;  // name|sql-column-part
};

TEST_F(SchemaCreatorTest, CreatesExactTableAndIndexTexts) {
    const SchemaCase cases[] = {
        {"T", "CREATE TABLE T(id TEXT PRIMARY KEY COLLATE NOCASE, name TEXT, age TEXT)", {}},
        {"T|0|1", "CREATE TABLE T(id TEXT, name TEXT, age TEXT)", {}},
        {"T|1|1", "CREATE TABLE T(id TEXT PRIMARY KEY, name TEXT, age TEXT)", {}},
        {"T|1|0|1", "CREATE TABLE T(id TEXT PRIMARY KEY COLLATE NOCASE, name TEXT, age TEXT)", {"T-1|id"}},
        {"T|1|0|2|2",
         "CREATE TABLE T(id TEXT COLLATE NOCASE, name TEXT, age TEXT, PRIMARY KEY (id, name))",
         {"T-0|id", "T-1|name", "T-2|id,name"}},
    };
    int n = 0;
    for (const SchemaCase& c : cases) {
        std::string file = "case" + std::to_string(n++) + ".db";
        ASSERT_TRUE(Create(("sub/dir/" + file).c_str(), c.tableArgument, "id,name,age")) << c.tableArgument;
        fs::path path = dir / "sub/dir" / file;
        EXPECT_EQ(Rows(path, "SELECT sql FROM sqlite_master WHERE type='table'"),
                  std::vector<std::string>{c.table})
            << c.tableArgument;
        std::vector<std::string> indexes;
        for (const std::string& name : Rows(path, "SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL ORDER BY name")) {
            std::string columns;
            for (const std::string& col :
                 Rows(path, ("SELECT name FROM pragma_index_info('" + name + "') ORDER BY seqno")))
                columns += (columns.empty() ? "" : ",") + col;
            indexes.push_back(name + "|" + columns);
        }
        EXPECT_EQ(indexes, c.indexes) << c.tableArgument;
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(SchemaCreatorTest, OptionReadingRules) {
    SchemaCreator::TableOptions o;
    EXPECT_EQ(SchemaCreator::ParseTableArgument(OLESTR("T|"), o), OLESTR("T|"));  // one piece: name unchanged
    EXPECT_TRUE(o.primaryKey);
    EXPECT_EQ(SchemaCreator::ParseTableArgument(OLESTR("T||1"), o), OLESTR("T"));
    EXPECT_TRUE(o.primaryKey);
    EXPECT_TRUE(o.caseSensitive);
    EXPECT_EQ(SchemaCreator::ParseTableArgument(OLESTR("T|0"), o), OLESTR("T"));
    EXPECT_FALSE(o.primaryKey);
    EXPECT_FALSE(o.caseSensitive);
    SchemaCreator::ParseTableArgument(OLESTR("T|1|0|0|-1|ignored"), o);
    EXPECT_EQ(o.keyCount, -1);
    EXPECT_EQ(SchemaCreator::TableStatement(OLESTR("T"), {OLESTR("id"), OLESTR("v")}, o), OLESTR("CREATE TABLE T(id TEXT COLLATE NOCASE, v TEXT);"));

    const std::pair<const OLECHAR*, int> counts[] = {
        {OLESTR(""), 0}, {OLESTR("12"), 12}, {OLESTR("  7x"), 7}, {OLESTR("-3"), -3}, {OLESTR("+4"), 4}, {OLESTR("x1"), 0}, {OLESTR("\t\n 9"), 9}, {OLESTR("99999999999"), 2147483647}};
    for (const auto& [text, value] : counts) EXPECT_EQ(SchemaCreator::ReadCount(text), value);

    // Index count above the column count indexes every column and numbers the
    // combined index with the count.
    EXPECT_EQ(SchemaCreator::IndexStatements(OLESTR("T"), {OLESTR("a"), OLESTR("b")}, 3),
              (std::vector<WString>{OLESTR("CREATE INDEX `T-0` ON `T` ('a');"), OLESTR("CREATE INDEX `T-1` ON `T` ('b');"),
                                    OLESTR("CREATE INDEX `T-3` ON `T` ('a', 'b');")}));
}

TEST_F(SchemaCreatorTest, ExistingTableUntouchedAndFailuresLogged) {
    ASSERT_TRUE(Create("a.db", "T", "id,name"));
    ASSERT_TRUE(Create("a.db", "T|0|1|3", "x,y,z"));  // exists: nothing changes
    ASSERT_TRUE(Create("a.db", "t", "x"));            // SQLite's names ignore case: exists too
    EXPECT_EQ(Rows(dir / "a.db", "SELECT count(*) FROM sqlite_master"), std::vector<std::string>{"2"});
    EXPECT_TRUE(log.lines.empty());

    // A statement that fails answers false with SQLite's line, and stores
    // nothing of the table: the next call does not find it.
    struct Case {
        const char* tableArgument;
        const char* columns;
        const OLECHAR* line;
    } const cases[] = {
        {"my table", "a,b",
         OLESTR("SQLITE_ERROR[1]: near \"table\": syntax error\r\nCREATE TABLE my table(a TEXT PRIMARY KEY COLLATE NOCASE, b TEXT);")},
        {"T|", "a", OLESTR("SQLITE_ERROR[1]: near \"|\": syntax error\r\nCREATE TABLE T|(a TEXT PRIMARY KEY COLLATE NOCASE);")},
        {"V", "id,name,name", OLESTR("SQLITE_ERROR[1]: duplicate column name: name\r\nCREATE TABLE V(id TEXT PRIMARY KEY COLLATE NOCASE, name TEXT, name TEXT);")},
        // The table statement runs, its index does not: neither stays.
        {"X|1|0|1", "x y,b", OLESTR("SQLITE_ERROR[1]: no such column: x y\r\nCREATE INDEX `X-1` ON `X` ('x y');")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tableArgument);
        log.lines.clear();
        EXPECT_FALSE(Create("a.db", c.tableArgument, c.columns));
        EXPECT_EQ(log.lines, std::vector<WString>{c.line});
    }
    EXPECT_EQ(Rows(dir / "a.db", "SELECT count(*) FROM sqlite_master"), std::vector<std::string>{"2"});

    // Another connection's write lock: the creation cannot wait for it.
    {
        Holder writer(dir / "a.db", "BEGIN IMMEDIATE;");
        log.lines.clear();
        EXPECT_TRUE(Create("a.db", "T", "id"));  // an existing table is still found
        EXPECT_FALSE(Create("a.db", "W", "a"));
        EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("SQLITE_BUSY[5]: database is locked\r\n")
                                                  OLESTR("CREATE TABLE W(a TEXT PRIMARY KEY COLLATE NOCASE);")});
    }

    // The contract's lines stay first; a line that says why follows.
    log.lines.clear();
    EXPECT_FALSE(Create("a.db", "U", ""));
    EXPECT_EQ(log.lines, (std::vector<WString>{OLESTR("CreateDB Parma error:"),
                                               OLESTR("CreateDB Error:table U is missing and ColumnName names no "
                                                      "column to create it with")}));

    log.lines.clear();
    EXPECT_FALSE(Create("a.db", "it's", "a"));  // the table-exists query does not compile
    ASSERT_EQ(log.lines.size(), 2u);
    // The rest is the tail SQLite reports, which differs between its versions
    // ("s'" or "'"): some end of the query text.
    const WString query = OLESTR("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='it's'");
    const WString head = OLESTR("CreateDB Error:1, ");
    ASSERT_EQ(log.lines[0].substr(0, head.size()), head);
    const WString rest = log.lines[0].substr(head.size());
    EXPECT_FALSE(rest.empty());
    EXPECT_TRUE(query.ends_with(rest)) << std::string(rest.begin(), rest.end());
    EXPECT_EQ(log.lines[1], OLESTR("SQLITE_ERROR[1]: near \"s\": syntax error\r\n") + query);

    fs::create_directories(dir / "folder.db");
    SchemaCreator::TableOptions options;
    log.lines.clear();
    EXPECT_FALSE(SchemaCreator::CreateDB(log, HostFile("folder.db"), OLESTR("T"), OLESTR("a"), options));
    EXPECT_EQ(log.lines, (std::vector<WString>{OLESTR("CreateDB open fail:14"),
                                               OLESTR("SQLITE_CANTOPEN[14]: unable to open database file\r\n") +
                                                   HostFile("folder.db")}));
    EXPECT_FALSE(SchemaCreator::CreateDB(log, OLESTR(""), OLESTR("T"), OLESTR("a"), options));
    EXPECT_EQ(log.lines.size(), 2u);
}
}  // namespace
