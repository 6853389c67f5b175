#include "import/BulkImporter.h"

#include <cerrno>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ImportFixture.h"
#include "facade/DatabaseFacade.h"

namespace {
using Outcome = BulkImporter::Outcome;

const char* const kTextTable = "CREATE TABLE T(a TEXT, b TEXT); INSERT INTO T VALUES ('old', 'row');";
const char* const kKeyTable = "CREATE TABLE T(a TEXT PRIMARY KEY, b TEXT); INSERT INTO T VALUES ('k1', 'old');";
const char* const kPlainTable = "CREATE TABLE T(a, b);";

struct Case {
    const char* name;
    const char* setup;
    std::string file;  // bytes of the text file
    const char* rowSplit;
    const char* columnSplit;
    Outcome outcome;
    const char* rows = nullptr;  // expected rows of T after a stored import (rowid first)
    const char* table = "T";
};

std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// 'a' joined with `lines` line feeds, each followed by 'b'.
std::string Join(size_t lines) {
    std::string text = "'a'";
    for (size_t i = 0; i < lines; ++i) text += "||char(10)||'b'";
    return text;
}

const std::vector<Case>& Cases() {
    static const std::string joinedRows = "int:1 text:'a\nb' text:'cd' \nint:2 text:'a" + [] {
        std::string lines;
        for (int i = 0; i < 300; ++i) lines += "\nb";
        return lines;
    }() + "' text:'x' \n";
    static const std::vector<Case> cases = {
        {"example", "CREATE TABLE T(a TEXT, b TEXT);", "'k1'#'Ann';\n'k2'#'Bob';\n", ";", "#", Outcome::Stored,
         "int:1 text:'k1' text:'Ann' \nint:2 text:'k2' text:'Bob' \n"},
        {"lastRowWithoutSeparator", kTextTable, "'a'#'b';\r\n'c'#\n'd'", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a' text:'b' \nint:3 text:'c' text:'d' \n"},
        {"quoteSpansRows", kTextTable, "'a;b'#'c';", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a),(b' text:'c' \n"},
        {"commentSpansRows", kPlainTable, "1#/* x;*/2;3#4;", ";", "#", Outcome::Stored,
         "int:1 int:1 int:2 \nint:2 int:3 int:4 \n"},
        {"columnSplitInsideQuotes", kTextTable, "'a#b'#'c';", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a,b' text:'c' \n"},
        {"numbersIntoText", kTextTable, "1.50#-2;", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'1.5' text:'-2' \n"},
        {"smuggledStatement", kTextTable, "'a'#'b'); DELETE FROM T; INSERT INTO T VALUES ('x'#'y'|'c'#'d'|", "|",
         "#", Outcome::Stored, "int:1 text:'x' text:'y' \nint:2 text:'c' text:'d' \n"},
        {"laterRowAddsOnConflict", kKeyTable, "'k1'#'new'|'k2'#'z') ON CONFLICT DO NOTHING; --|", "|", "#",
         Outcome::Stored, "int:1 text:'k1' text:'old' \nint:2 text:'k2' text:'z' \n"},
        {"rowsOfDifferentLengths", kTextTable, "'a'#'b';'c';", ";", "#", Outcome::Failed},
        {"tooFewValuesForTable", kTextTable, "'a';'c';", ";", "#", Outcome::Failed},
        {"collisionWithExistingKey", kKeyTable, "'k0'#'x';'k1'#'new';", ";", "#", Outcome::Failed},
        {"emptyFile", kTextTable, "", ";", "#", Outcome::Failed},
        {"onlySeparators", kTextTable, ";;", ";", "#", Outcome::Failed},
        {"emptyRowBetween", kTextTable, "'a'#'b';;'c'#'d';", ";", "#", Outcome::Failed},
        {"verticalTab", kTextTable, "'a'\v#'b';", ";", "#", Outcome::Failed},
        // Joined texts are stored row by row; one deeper than SQLite takes
        // fails as the one statement does.
        {"joinedTexts", kPlainTable, "'a'||char(10)||'b' # 'c'|| 'd';" + Join(300) + "#'x';", ";", "#",
         Outcome::Stored, joinedRows.c_str()},
        {"joinTooDeep", kTextTable, "'a'#'b';" + Join(600) + "#'x';", ";", "#", Outcome::Failed},
        {"rowSplitIsLineBreak", "CREATE TABLE T(a, b, c);", "'a'#'b'\n'c'#'d'\n", "\n", "#", Outcome::Stored,
         "int:1 text:'a' text:'b'c' text:'d' \n"},
        {"emptyRowSplit", kTextTable, "'a'#'b';", "", "#", Outcome::Failed},
        {"emptyRowSplitOneRow", kTextTable, "'a'#'b'", "", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a' text:'b' \n"},
        {"emptyColumnSplit", kTextTable, "'a','b';", ";", "", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a' text:'b' \n"},
        {"rowSplitAcrossLines", kTextTable, "'a'#'b'<>\n<'c'#'d'<><", "<><", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'a' text:'b' \nint:3 text:'c' text:'d' \n"},
        {"utf8Text", kPlainTable, "'\xC3\xA9\xE2\x82\xAC'#'\xF0\x9F\x98\x80';", ";", "#", Outcome::Stored,
         "int:1 text:'\xC3\xA9\xE2\x82\xAC' text:'\xF0\x9F\x98\x80' \n"},
        {"utf16Text", kPlainTable,
         Utf16File(u"'\u00e9\u20ac'#'\U0001F600';\r\n'x'#'" + std::u16string(1, char16_t(0xD800)) + u"';"), ";", "#",
         Outcome::Stored,
         "int:1 text:'\xC3\xA9\xE2\x82\xAC' text:'\xF0\x9F\x98\x80' \nint:2 text:'x' text:'\xEF\xBF\xBD' \n"},
        {"zeroUnitEndsStatement", kPlainTable, Utf16File(std::u16string(u"'a'#'b';'c\0d'#'e';", 18)), ";", "#",
         Outcome::Failed},
        {"tableWithColumnList", kTextTable, "'x';", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 null text:'x' \n", "T(b)"},
        {"bracketedTable", kTextTable, "'x'#'y';", ";", "#", Outcome::Stored,
         "int:1 text:'old' text:'row' \nint:2 text:'x' text:'y' \n", "[T]"},
        {"missingTable", kTextTable, "'x'#'y';", ";", "#", Outcome::Failed, nullptr, "U"},
        {"triggerSeesStatements",
         "CREATE TABLE T(a, b); CREATE TABLE L(n); "
         "CREATE TRIGGER G AFTER INSERT ON T BEGIN INSERT INTO L VALUES (changes()); END;",
         "1#2;3#4;", ";", "#", Outcome::Stored},
    };
    return cases;
}

// What a failed import reports, "code|SQLite's message|row|the row's text",
// or the statement in place of the text when there is no row. The one
// statement's message is the same; its row is the first of the statement
// that failed, which is the row found here unless SQLite failed while
// storing rows (a collision), when it is the first row.
const std::map<std::string, std::string>& Reports() {
    static const std::map<std::string, std::string> reports = {
        {"rowsOfDifferentLengths", "1|all VALUES must have the same number of terms|2|'c'"},
        {"tooFewValuesForTable", "1|table T has 2 columns but 1 values were supplied|1|'a'"},
        {"collisionWithExistingKey", "19|UNIQUE constraint failed: T.a|2|'k1'#'new'"},
        {"emptyFile", "1|near \";\": syntax error|0|INSERT INTO T VALUES ;"},
        {"onlySeparators", "1|near \")\": syntax error|1|"},
        {"emptyRowBetween", "1|near \")\": syntax error|2|"},
        {"verticalTab", "1|unrecognized token: \"\v\"|1|'a'\v#'b'"},
        {"emptyRowSplit", "1|near \";\": syntax error|1|'a'#'b';"},
        {"zeroUnitEndsStatement", "1|unrecognized token: \"'c\"|2|" + std::string("'c\0d'#'e'", 9)},
        {"missingTable", "1|no such table: U|1|'x'#'y'"},
        {"joinTooDeep", "1|Expression tree is too large (maximum depth 1000)|1|'a'#'b'"},
    };
    return reports;
}

class BulkImporterTest : public ImportFixture {
protected:
    static std::string Report(const BulkImporter::Failure& failure) {
        return std::to_string(failure.code) + "|" + Narrow(failure.message) + "|" + std::to_string(failure.row) + "|" +
               Narrow(failure.row != 0 ? failure.rowText : failure.statement);
    }
};

// Every case gives the one statement's outcome and database, a failure
// leaves the database as it was, and the named results are the expected ones.
// The values themselves (numbers, blobs, expressions, quotes, collisions) are
// the differential test's; these cases are about splitting, encodings and
// table names.
TEST_F(BulkImporterTest, MatchesTheOneStatementOnHandWrittenInputs) {
    int n = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::string file = WriteFile("in" + std::to_string(n) + ".txt", c.file);
        const std::string before = Dump(MakeDb("before" + std::to_string(n) + ".db", c.setup));
        const std::string fast = MakeDb("fast" + std::to_string(n) + ".db", c.setup);
        const std::string one = MakeDb("one" + std::to_string(n) + ".db", c.setup);
        ++n;
        BulkImporter::Failure fastFailure, oneFailure;
        const Outcome fastOutcome = BulkImporter::Import(Wide(fast), Wide(file), Wide(c.table), Wide(c.rowSplit),
                                                         Wide(c.columnSplit), &fastFailure);
        const Outcome oneOutcome = BulkImporter::ImportOneStatement(Wide(one), Wide(file), Wide(c.table),
                                                                    Wide(c.rowSplit), Wide(c.columnSplit), &oneFailure);
        EXPECT_EQ(fastOutcome, c.outcome);
        EXPECT_EQ(oneOutcome, c.outcome);
        EXPECT_EQ(Dump(fast), Dump(one));
        if (fastOutcome != Outcome::Stored) {
            EXPECT_EQ(Dump(fast), before);
            const auto report = Reports().find(c.name);
            ASSERT_NE(report, Reports().end());
            EXPECT_EQ(Report(fastFailure), report->second);
            EXPECT_EQ(oneFailure.code, fastFailure.code);
            EXPECT_EQ(oneFailure.message, fastFailure.message);
        }
        // 8-bit files are read in the system code page: UTF-8 under the
        // Linux runtime, a Windows-125x page under Wine by default.
        const bool readAsUtf8 = std::string_view(c.name) != "utf8Text" || GetACP() == CP_UTF8;
        if (c.rows != nullptr && readAsUtf8) {
            EXPECT_EQ(Dump(fast), "[T]\n" + std::string(c.rows));
        }
    }
}

TEST_F(BulkImporterTest, MissingTextFileOrDatabase) {
    const std::string db = MakeDb("a.db", kTextTable);
    const std::string file = WriteFile("in.txt", "'a'#'b';");
    BulkImporter::Failure failure;
    EXPECT_EQ(BulkImporter::Import(Wide(db), Wide((dir / "none.txt").string()), OLESTR("T"), OLESTR(";"),
                                   OLESTR("#"), &failure),
              Outcome::FileNotOpened);
    EXPECT_EQ(failure.kind, BulkImporter::Failure::Kind::FileNotOpened);
    EXPECT_EQ(failure.systemError, ENOENT);
    const WString missingDb = Wide((dir / "none.db").string());
    failure = BulkImporter::Failure();
    EXPECT_EQ(BulkImporter::Import(missingDb, Wide(file), OLESTR("T"), OLESTR(";"), OLESTR("#"), &failure),
              Outcome::Failed);
    EXPECT_EQ(failure.kind, BulkImporter::Failure::Kind::DatabaseMissing);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.db"));
}

// A database locked by another connection refuses the batch at once, and
// the rows read so far are not kept.
TEST_F(BulkImporterTest, LockedDatabaseFailsAndKeepsNothing) {
    const std::string db = MakeDb("a.db", kTextTable);
    const std::string before = Dump(db);
    const std::string file = WriteFile("in.txt", "'a'#'b';'c'#'d';");
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    BulkImporter::Failure failure;
    EXPECT_EQ(BulkImporter::Import(Wide(db), Wide(file), OLESTR("T"), OLESTR(";"), OLESTR("#"), &failure),
              Outcome::Failed);
    EXPECT_EQ(Report(failure), "5|database is locked|1|'a'#'b'");
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(Dump(db), before);
}

// Through the facade: the table is created plain in the data folder's
// current file, and a missing text file still leaves it created.
TEST_F(BulkImporterTest, FacadeCreatesThePlainTableAndImports) {
    const std::string file = WriteFile("in.txt", "'k1'#'Ann';\n'k2'#'Bob';\n");
    EXPECT_EQ(facade->ImportDbFile(Wide(file), OLESTR("T"), OLESTR("k,name"), OLESTR(";"), OLESTR("#")), 1);
    const std::string db = (DefaultDataFolder() / "API_db.db").string();
    EXPECT_EQ(Dump(db), "[T]\nint:1 text:'k1' text:'Ann' \nint:2 text:'k2' text:'Bob' \n");
    EXPECT_EQ(facade->ImportDbFile(Wide((dir / "none.txt").string()), OLESTR("U"), OLESTR("x"), OLESTR(";"),
                                   OLESTR("#")),
              0);
    EXPECT_EQ(Dump(db), "[T]\nint:1 text:'k1' text:'Ann' \nint:2 text:'k2' text:'Bob' \n[U]\n");
}

// An 8-bit file written on Windows in code page 1252 reads as that code page
// where the ANSI code page is 1252: on Linux, the prefix's ACP value.
TEST_F(BulkImporterTest, EightBitFileReadsInTheAnsiCodePage) {
#ifdef _WIN32
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is not 1252";
#else
    PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage"), OLESTR("ACP"),
                    OLESTR("1252"));
#endif
    const std::string file = WriteFile("cp1252.txt", "'1'#'Caf\xE9';\n'2'#'\x80 5';\n");
    EXPECT_EQ(facade->ImportDbFile(Wide(file), OLESTR("T"), OLESTR("k,name"), OLESTR(";"), OLESTR("#")), 1);
    EXPECT_EQ(Dump((DefaultDataFolder() / "API_db.db").string()),
              "[T]\nint:1 text:'1' text:'Caf\xC3\xA9' \nint:2 text:'2' text:'\xE2\x82\xAC 5' \n");
}

// A file that starts with the UTF-8 mark (Windows editors' and spreadsheets'
// "UTF-8") reads as UTF-8 whatever the ANSI code page, without the mark.
TEST_F(BulkImporterTest, Utf8FileWithMarkReadsAsUtf8InAnyCodePage) {
    const std::string file = WriteFile("utf8.txt", "\xEF\xBB\xBF'Caf\xC3\xA9'#'\xE2\x82\xAC 5';\n");
    const std::string db = (DefaultDataFolder() / "API_db.db").string();
#ifdef _WIN32
    const OLECHAR* const pages[] = {nullptr};  // the system's own
#else
    const OLECHAR* const pages[] = {OLESTR("1252"), OLESTR("65001")};
#endif
    for (const OLECHAR* acp : pages) {
        if (acp != nullptr)
            PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage"),
                            OLESTR("ACP"), acp);
        EXPECT_EQ(facade->ImportDbFile(Wide(file), OLESTR("T"), OLESTR("k,name"), OLESTR(";"), OLESTR("#")), 1);
        EXPECT_EQ(Dump(db), "[T]\nint:1 text:'Caf\xC3\xA9' text:'\xE2\x82\xAC 5' \n");
        LONG dropped = 0;
        facade->DropTable(OLESTR(""), OLESTR("T"), &dropped);
    }
}
}  // namespace
