// The failure table of docs/api.md, walked row by row through the component
// object: each row's failure is produced and the client receives exactly the
// row's outcome and lines. The table is read from the document as it stood at
// configure time (cmake/DocTable.cmake), so a row without a scenario here, or
// a scenario whose row is gone, fails the walk: the document and the
// component cannot drift apart.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BstrArg.h"
#include "ComponentFixture.h"
#include "FailureTable.h"
#include "sqlite/FaultVfs.h"

namespace fs = std::filesystem;

namespace {

// One row of the table: its cells as written, the lines as patterns.
struct Row {
    std::string methods;
    std::string failure;
    std::string outcome;  // without backquotes
    std::vector<WString> lines;
};

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string WithoutBackquotes(std::string text) {
    std::erase(text, '`');
    return text;
}

// A cell's text as the document means it: "\|" is "|", "\r\n" a line break.
WString LineOf(const std::string& code) {
    std::string text;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code.compare(i, 2, "\\|") == 0) {
            text += '|';
            ++i;
        } else if (code.compare(i, 4, "\\r\\n") == 0) {
            text += "\r\n";
            i += 3;
        } else {
            text += code[i];
        }
    }
    WString wide;
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    wide.resize(static_cast<size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

std::vector<Row> ParseTable(const std::string& table) {
    std::vector<Row> rows;
    size_t at = 0;
    while (at < table.size()) {
        size_t end = table.find('\n', at);
        if (end == std::string::npos) end = table.size();
        const std::string line = table.substr(at, end - at);
        at = end + 1;
        if (line.rfind("| ", 0) != 0 || line.rfind("| Method", 0) == 0) continue;
        // Cells end at every "|" that no backslash escapes.
        std::vector<std::string> cells;
        std::string cell;
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '|' && line[i - 1] != '\\') {
                cells.push_back(Trim(cell));
                cell.clear();
            } else {
                cell += line[i];
            }
        }
        if (cells.size() != 4) {
            ADD_FAILURE() << "a row without four cells: " << line;
            continue;
        }
        Row row{cells[0], cells[1], WithoutBackquotes(cells[2]), {}};
        std::string lines = cells[3] + "<br>";
        for (size_t from = 0, br; (br = lines.find("<br>", from)) != std::string::npos; from = br + 4) {
            // A code span: "`text`", or "`` text ``" for a text that holds "`".
            std::string code = Trim(lines.substr(from, br - from));
            if (code.size() >= 6 && code.starts_with("`` ") && code.ends_with(" ``")) {
                code = code.substr(3, code.size() - 6);
            } else if (code.size() >= 2 && code.front() == '`' && code.back() == '`') {
                code = code.substr(1, code.size() - 2);
            }
            row.lines.push_back(LineOf(code));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<Row>& TableRows() {
    static const std::vector<Row> rows = ParseTable(kFailureTable);
    return rows;
}

// Whether text matches pattern, where each "<...>" stands for any text of
// one unit or more.
bool Matches(const WString& pattern, const WString& text) {
    std::vector<WString> literals{WString()};
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t close = pattern[i] == OLESTR('<') ? pattern.find(OLESTR('>'), i) : WString::npos;
        if (close != WString::npos) {
            literals.emplace_back();
            i = close;
        } else {
            literals.back() += pattern[i];
        }
    }
    if (literals.size() == 1) return text == pattern;
    if (text.compare(0, literals.front().size(), literals.front()) != 0) return false;
    size_t at = literals.front().size();
    for (size_t i = 1; i + 1 < literals.size(); ++i) {
        const size_t found = text.find(literals[i], at + 1);
        if (found == WString::npos) return false;
        at = found + literals[i].size();
    }
    const WString& last = literals.back();
    return text.size() >= at + 1 + last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
}

class FailureTextTest : public ComponentFixture, public ::testing::WithParamInterface<size_t> {
public:
    // What the scenarios reach.
    using ComponentFixture::item;
    using ComponentFixture::object;
    using ComponentFixture::Object;
    using ComponentFixture::set;
    using ComponentFixture::sink;
    using FacadeFixture::dir;
    using FacadeFixture::DefaultDataFolder;
    using FacadeFixture::Holder;
    using FacadeFixture::RecordingSet;
    using FacadeFixture::HostFile;
    using FacadeFixture::Rows;
    using FacadeFixture::StarFile;
    using FacadeFixture::Wide;

    // What the call under test answered, as the table's outcome column
    // writes it.
    static std::string Ret(LONG ret) { return "plRet " + std::to_string(ret); }
    static std::string Found(VARIANT_BOOL found) {
        return found == VARIANT_TRUE ? "Succeeded true" : found == VARIANT_FALSE ? "Succeeded false" : "Succeeded ?";
    }
    static std::string Hr(HRESULT hr) { return hr == S_OK ? "S_OK" : hr == S_FALSE ? "S_FALSE" : "failed"; }

    // Forgets the events so far: the lines of the call under test follow.
    void Mark() { sink.events.clear(); }

    LONG Create(const WString& file, const WString& table, const WString& columns) {
        LONG ret = -1;
        EXPECT_EQ(object->CreateDbFile(BstrArg(file), BstrArg(table), BstrArg(columns), &ret), S_OK);
        return ret;
    }
    LONG Insert(const WString& table, const WString& columns, const WString& values) {
        LONG ret = -1;
        EXPECT_EQ(object->InsertDBRecord(BstrArg(table), BstrArg(columns), BstrArg(values), &ret), S_OK);
        return ret;
    }
    LONG Update(const WString& table, const WString& cc, const WString& cv, const WString& nc, const WString& nv) {
        LONG ret = -1;
        EXPECT_EQ(object->UpdateDBRecord(BstrArg(table), BstrArg(cc), BstrArg(cv), BstrArg(nc), BstrArg(nv), &ret),
                  S_OK);
        return ret;
    }
    LONG Delete(const WString& table, const WString& cc, const WString& cv) {
        LONG ret = -1;
        EXPECT_EQ(object->DeleteDBRecord(BstrArg(table), BstrArg(cc), BstrArg(cv), &ret), S_OK);
        return ret;
    }
    LONG Import(const WString& file, const WString& table, const WString& columns) {
        LONG ret = -1;
        EXPECT_EQ(object->ImportDbFile(BstrArg(file), BstrArg(table), BstrArg(columns), BstrArg(";"), BstrArg("#"),
                                       &ret),
                  S_OK);
        return ret;
    }
    // Imports rows (the bytes of a file) into table of the data folder's
    // file; the lines of the import follow, and nothing of it is stored.
    std::string ImportRows(const std::string& rows, const WString& table, const WString& columns) {
        std::ofstream(dir / "rows.txt", std::ios::binary) << rows;
        fs::create_directories(DefaultDataFolder());
        Mark();
        const LONG ret = Import(HostFile("rows.txt"), table, columns);
        const auto events = sink.events;
        VARIANT_BOOL found = Query(OLESTR("T"), OLESTR(""), OLESTR(""), set.Get());
        LONG count = -1;
        set->GetRecordCount(&count);
        EXPECT_TRUE(found != VARIANT_TRUE || count == 0) << count << " rows stored";
        sink.events = events;
        return Ret(ret);
    }
    VARIANT_BOOL Query(const WString& table, const WString& cc, const WString& cv, IDispatch* into) {
        VARIANT_BOOL found = 77;
        EXPECT_EQ(object->GetDBRecordSet(BstrArg(table), BstrArg(cc), BstrArg(cv), into, &found), S_OK);
        return found;
    }
    // A file of the test's folder made current with table T (id, v).
    void TableT() { ASSERT_EQ(Create(StarFile("t.db"), OLESTR("T"), OLESTR("id,v")), 1); }

    // Table T with a transaction open on it that SQLite has rolled back,
    // with its failing write's line: rows of 1 KB first, so that the
    // transaction's writes touch pages that the file holds, which SQLite
    // copies to its journal at once, where vfs fails them.
    void RolledBackTransaction(FaultVfs& vfs) {
        TableT();
        EXPECT_EQ(object->BeginTransation(), S_OK);
        for (int i = 10; i < 60; ++i)
            Insert(OLESTR("T"), OLESTR("id,v"), Wide(std::to_string(i)) + OLESTR(",") + WString(1000, OLESTR('x')));
        EXPECT_EQ(object->CommitTransation(), S_OK);
        EXPECT_EQ(object->BeginTransation(), S_OK);
        vfs.FailWrites(SQLITE_IOERR_WRITE);
        EXPECT_EQ(Insert(OLESTR("T"), OLESTR("id"), OLESTR("1")), 0);
        vfs.Heal();
    }
};

using Scenario = std::function<std::string(FailureTextTest&)>;
using Key = std::pair<std::string, std::string>;  // the methods and the failure, as the table writes them

const std::string kWrites = "`InsertDBRecord`, `UpdateDBRecord`, `DeleteDBRecord`";
const std::string kCreations = "`CreateDbFile`, `ImportDbFile`";

// Each scenario reaches one row's failure and answers the outcome of the
// call under test; the lines from its Mark on are the row's.
const std::map<Key, Scenario>& Scenarios() {
    static const std::map<Key, Scenario> scenarios = {
        {{"`CreateDbFile`", "`FileName` is empty and no database file is selected yet"},
         [](FailureTextTest& t) {
             t.Mark();
             return t.Ret(t.Create(OLESTR(""), OLESTR("T"), OLESTR("id")));
         }},
        {{kCreations,
          "the database file cannot be opened or made (its folder cannot be made: a drive that does not exist)"},
         [](FailureTextTest& t) {
             t.Mark();
             return t.Ret(t.Create(OLESTR("*Q:\\data\\x.db"), OLESTR("T"), OLESTR("id")));
         }},
        {{kCreations, "the test for the table does not compile (a table name that holds a quote)"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Create(OLESTR(""), OLESTR("it's"), OLESTR("id")));
         }},
        {{kCreations, "the table is missing and `ColumnName` is empty"},
         [](FailureTextTest& t) {
             // The import's table: the file's rows never matter.
             fs::create_directories(t.DefaultDataFolder());
             t.Mark();
             return t.Ret(t.Import(t.HostFile("rows.txt"), OLESTR("T"), OLESTR("")));
         }},
        {{kCreations,
          "the table statement fails (a table name that is no SQL name, such as `my table` or `T\\|`, a column named "
          "twice); nothing is made"},
         [](FailureTextTest& t) {
             // The import's table: CreateDbFile's own is in its tests.
             const std::string outcome = t.ImportRows("'a'#'b';", OLESTR("my table"), OLESTR("a,b"));
             EXPECT_EQ(t.Rows(t.DefaultDataFolder() / "API_db.db", "SELECT count(*) FROM sqlite_master"),
                       std::vector<std::string>{"0"});
             return outcome;
         }},
        {{"`CreateDbFile`", "an index statement fails (an indexed column name that holds a space); nothing is made"},
         [](FailureTextTest& t) {
             t.Mark();
             const LONG ret = t.Create(t.StarFile("t.db"), OLESTR("X|1|0|1"), OLESTR("x y,b"));
             EXPECT_EQ(t.Rows(t.dir / "t.db", "SELECT count(*) FROM sqlite_master"), std::vector<std::string>{"0"});
             return t.Ret(ret);
         }},
        {{kCreations, "another connection holds the file's write lock (the creation does not wait)"},
         [](FailureTextTest& t) {
             t.TableT();
             FailureTextTest::Holder writer(t.dir / "t.db", "BEGIN IMMEDIATE;");
             t.Mark();
             return t.Ret(t.Create(OLESTR(""), OLESTR("W"), OLESTR("a")));
         }},
        {{"`CreateDbFile`",
          "the disk fails at the commit (a full disk gives its line at the statement that meets it); nothing is made"},
         [](FailureTextTest& t) {
             FaultVfs vfs;
             t.TableT();
             vfs.FailSyncs(true);
             t.Mark();
             const LONG ret = t.Create(OLESTR(""), OLESTR("U"), OLESTR("a"));
             vfs.Heal();
             const auto events = t.sink.events;
             EXPECT_EQ(t.Create(OLESTR(""), OLESTR("U"), OLESTR("")), 0);  // nothing of it stayed
             t.sink.events = events;
             return t.Ret(ret);
         }},
        {{"`ImportDbFile`",
          "the text file cannot be opened (a file that does not exist); the table may be made already"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Import(t.HostFile("none.txt"), OLESTR("T"), OLESTR("id,v")));
         }},
        {{"`ImportDbFile`", "the same for a relative path, which is read from the process's working folder"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Import(OLESTR("rows.txt"), OLESTR("T"), OLESTR("id,v")));
         }},
        {{"`ImportDbFile`", "the file holds no rows"},
         [](FailureTextTest& t) { return t.ImportRows("", OLESTR("T"), OLESTR("id,v")); }},
        {{"`ImportDbFile`", "a row is no list of SQL values (a bare word, an unclosed quote); nothing is stored"},
         [](FailureTextTest& t) { return t.ImportRows("'k1'#'a';\n'k2'#'b';\n'k3'#bob;\n", OLESTR("T"), OLESTR("id,v")); }},
        {{"`ImportDbFile`", "rows of different lengths; nothing is stored"},
         [](FailureTextTest& t) { return t.ImportRows("'k1'#'a';'k2';", OLESTR("T"), OLESTR("id,v")); }},
        {{"`ImportDbFile`", "rows with more or fewer values than the table has columns; nothing is stored"},
         [](FailureTextTest& t) { return t.ImportRows("'k1'#'a'#'b';", OLESTR("T"), OLESTR("id,v")); }},
        {{"`ImportDbFile`", "a row collides with a key of the table; nothing is stored"},
         [](FailureTextTest& t) {
             EXPECT_EQ(t.Create(OLESTR(""), OLESTR("T"), OLESTR("id,v")), 0);  // no file selected yet
             fs::create_directories(t.DefaultDataFolder());
             EXPECT_EQ(t.Create(OLESTR("API_db"), OLESTR("T"), OLESTR("id,v")), 1);
             return t.ImportRows("'k1'#'a';'k1'#'b';", OLESTR("T"), OLESTR("id,v"));
         }},
        {{"`ImportDbFile`",
          "the table is missing when the rows are stored (a name such as `temp.T`, which the creation makes on its "
          "own connection only)"},
         [](FailureTextTest& t) { return t.ImportRows("'k1'#'a';", OLESTR("temp.T"), OLESTR("id,v")); }},
        {{"`ImportDbFile`",
          "another connection holds the file's write lock (the import does not wait); nothing is stored"},
         [](FailureTextTest& t) {
             fs::create_directories(t.DefaultDataFolder());
             EXPECT_EQ(t.Create(OLESTR("API_db"), OLESTR("T"), OLESTR("id,v")), 1);
             FailureTextTest::Holder writer(t.DefaultDataFolder() / "API_db.db", "BEGIN IMMEDIATE;");
             return t.ImportRows("'k1'#'a';", OLESTR("T"), OLESTR("id,v"));
         }},
        {{"`ImportDbFile`", "the commit fails (a sync that fails); nothing is stored"},
         [](FailureTextTest& t) {
             FaultVfs vfs;
             fs::create_directories(t.DefaultDataFolder());
             EXPECT_EQ(t.Create(OLESTR("API_db"), OLESTR("T"), OLESTR("id,v")), 1);
             vfs.FailSyncs(true);
             const std::string outcome = t.ImportRows("'k1'#'a';", OLESTR("T"), OLESTR("id,v"));
             vfs.Heal();
             return outcome;
         }},
        {{kWrites, "the statement fails in SQLite outside a transaction (a table that does not exist)"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Insert(OLESTR("Missing"), OLESTR("id"), OLESTR("1")));
         }},
        {{kWrites,
          "the statement fails in SQLite inside a transaction (a column that does not exist); the transaction goes on"},
         [](FailureTextTest& t) {
             t.TableT();
             EXPECT_EQ(t.object->BeginTransation(), S_OK);
             t.Mark();
             const LONG ret = t.Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("nope"), OLESTR("1"));
             EXPECT_EQ(t.object->CommitTransation(), S_OK);
             return t.Ret(ret);
         }},
        {{kWrites,
          "another connection holds the file locked until the busy timeout (60 s) ends, outside a transaction"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Object().Facade().SetBusyTimeout(20);
             FailureTextTest::Holder holder(t.dir / "t.db", "BEGIN IMMEDIATE;");
             t.Mark();
             return t.Ret(t.Delete(OLESTR("T"), OLESTR(""), OLESTR("")));
         }},
        {{kWrites,
          "outside a transaction, the current database file is missing and no `CreateDbFile` is recorded to rebuild "
          "it"},
         [](FailureTextTest& t) {
             t.Mark();
             return t.Ret(t.Insert(OLESTR("T"), OLESTR("id"), OLESTR("1")));
         }},
        {{kWrites,
          "outside a transaction, the current database file is missing and a replayed `CreateDbFile` fails (a drive "
          "that does not exist)"},
         [](FailureTextTest& t) {
             EXPECT_EQ(t.Create(OLESTR("*Q:\\data\\x.db"), OLESTR("T"), OLESTR("id")), 0);
             t.Mark();
             return t.Ret(t.Update(OLESTR("T"), OLESTR("id"), OLESTR("1"), OLESTR("v"), OLESTR("2")));
         }},
        {{kWrites, "SQLite rolled the open transaction back during an earlier write (an I/O error); nothing runs"},
         [](FailureTextTest& t) {
             FaultVfs vfs;
             t.RolledBackTransaction(vfs);
             t.Mark();
             const LONG ret = t.Insert(OLESTR("T"), OLESTR("id"), OLESTR("2"));
             const auto events = t.sink.events;
             t.object->CommitTransation();  // its line is another row's
             t.sink.events = events;
             return t.Ret(ret);
         }},
        {{"`UpdateDBRecord`", "`NewCol` and `NewVal` differ in count; nothing runs"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("id,v"), OLESTR("1")));
         }},
        {{"`UpdateDBRecord`",
          "`ConditionCol` and `ConditionVal` differ in count, a `ConditionCol` with an empty `ConditionVal` included; "
          "nothing runs"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Update(OLESTR("T"), OLESTR("id"), OLESTR(""), OLESTR("v"), OLESTR("1")));
         }},
        {{"`DeleteDBRecord`", "a raw condition holds `;`; nothing is deleted"},
         [](FailureTextTest& t) {
             t.TableT();
             EXPECT_EQ(t.Insert(OLESTR("T"), OLESTR("id"), OLESTR("q1")), 1);
             t.Mark();
             const LONG ret = t.Delete(OLESTR("T"), OLESTR("id='q1'; DROP TABLE T"), OLESTR(""));
             EXPECT_EQ(t.Rows(t.dir / "t.db", "SELECT id FROM T"), std::vector<std::string>{"q1"});
             return t.Ret(ret);
         }},
        {{"`DeleteDBRecord`", "`ConditionCol` and `ConditionVal` differ in count"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Ret(t.Delete(OLESTR("T"), OLESTR("id,v"), OLESTR("1")));
         }},
        {{"`GetDBRecordSet`", "`pRecordSet` is null"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Found(t.Query(OLESTR("T"), OLESTR(""), OLESTR(""), nullptr));
         }},
        {{"`GetDBRecordSet`", "`pRecordSet` is not a `RecordSet`; it is not touched"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Found(t.Query(OLESTR("T"), OLESTR(""), OLESTR(""), t.item.Get()));
         }},
        {{"`GetDBRecordSet`",
          "the RecordSet cannot store a row (out of memory); it keeps the column names and no rows, never part of "
          "the result"},
         [](FailureTextTest& t) {
             t.TableT();
             for (const OLECHAR* id : {OLESTR("1"), OLESTR("2"), OLESTR("3")}) t.Insert(OLESTR("T"), OLESTR("id"), id);
             FailureTextTest::RecordingSet full;
             full.rowsTaken = 2;
             t.Mark();
             const VARIANT_BOOL found = t.Query(OLESTR("T"), OLESTR(""), OLESTR(""), static_cast<IRecordSet*>(&full));
             EXPECT_TRUE(full.rows.empty());
             return t.Found(found);
         }},
        {{"`GetDBRecordSet`",
          "the query fails in SQLite after its first row (a select list that fails on a later row, such as "
          "`json(v)` of a text that is no JSON); the RecordSet keeps the column names and the rows before the "
          "failing one"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Insert(OLESTR("T"), OLESTR("id,v"), OLESTR("1,[1]"));
             t.Insert(OLESTR("T"), OLESTR("id,v"), OLESTR("2,{"));
             // The module's own RecordSet (rows appended whole) and one that
             // takes each row as a text.
             FailureTextTest::RecordingSet texts;
             const VARIANT_BOOL byText =
                 t.Query(OLESTR("T#*#json(v)"), OLESTR(""), OLESTR(""), static_cast<IRecordSet*>(&texts));
             EXPECT_EQ(byText, VARIANT_FALSE);
             EXPECT_EQ(texts.names, WString(OLESTR("json(v)")));
             EXPECT_EQ(texts.rows, std::vector<WString>{OLESTR("[1]")});
             t.Mark();
             const VARIANT_BOOL found = t.Query(OLESTR("T#*#json(v)"), OLESTR(""), OLESTR(""), t.set.Get());
             LONG count = -1;
             t.set->GetRecordCount(&count);
             EXPECT_EQ(count, 1);
             return t.Found(found);
         }},
        {{"`GetDBRecordSet`", "the current database file does not exist (a query never rebuilds it)"},
         [](FailureTextTest& t) {
             t.Mark();
             const VARIANT_BOOL found = t.Query(OLESTR("T"), OLESTR(""), OLESTR(""), t.set.Get());
             EXPECT_FALSE(fs::exists(t.DefaultDataFolder() / "API_db.db"));
             return t.Found(found);
         }},
        {{"`GetDBRecordSet`",
          "the query fails in SQLite (a table or column that does not exist, `T#*#` without a select list, a lock "
          "held past the busy timeout); the RecordSet is not touched"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Found(t.Query(OLESTR("Missing"), OLESTR(""), OLESTR(""), t.set.Get()));
         }},
        {{"`GetDBRecordSet`", "a raw condition holds `;`"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Found(t.Query(OLESTR("T"), OLESTR("id=1; DROP TABLE T"), OLESTR(""), t.set.Get()));
         }},
        {{"`GetDBRecordSet`", "`ConditionCol` and `ConditionVal` differ in count"},
         [](FailureTextTest& t) {
             t.TableT();
             t.Mark();
             return t.Found(t.Query(OLESTR("T"), OLESTR("id,v"), OLESTR("1"), t.set.Get()));
         }},
        {{"`BeginTransation`",
          "the current database file is missing and no `CreateDbFile` is recorded to rebuild it; no transaction"},
         [](FailureTextTest& t) {
             t.Mark();
             return t.Hr(t.object->BeginTransation());
         }},
        {{"`BeginTransation`",
          "the current database file is missing and a replayed `CreateDbFile` fails (a drive that does not exist); no "
          "transaction"},
         [](FailureTextTest& t) {
             EXPECT_EQ(t.Create(OLESTR("*Q:\\data\\x.db"), OLESTR("T"), OLESTR("id")), 0);
             t.Mark();
             return t.Hr(t.object->BeginTransation());
         }},
        {{"`BeginTransation`",
          "the current database file cannot be opened (a folder) or the transaction cannot begin; no transaction"},
         [](FailureTextTest& t) {
             fs::create_directory(t.dir / "folder");
             t.Create(t.StarFile("folder"), OLESTR("T"), OLESTR("id"));
             t.Mark();
             return t.Hr(t.object->BeginTransation());
         }},
        {{"`CommitTransation`",
          "another connection reads the file, so the commit cannot take its lock; the transaction stays open for a "
          "retry"},
         [](FailureTextTest& t) {
             t.TableT();
             EXPECT_EQ(t.object->BeginTransation(), S_OK);
             EXPECT_EQ(t.Insert(OLESTR("T"), OLESTR("id"), OLESTR("1")), 1);
             HRESULT hr;
             {
                 FailureTextTest::Holder reader(t.dir / "t.db", "BEGIN; SELECT count(*) FROM T;");
                 t.Mark();
                 hr = t.object->CommitTransation();
             }
             const auto lines = t.sink.events;
             EXPECT_EQ(t.object->CommitTransation(), S_OK);  // the retry stores the row
             t.sink.events = lines;
             EXPECT_EQ(t.Rows(t.dir / "t.db", "SELECT id FROM T"), std::vector<std::string>{"1"});
             return t.Hr(hr);
         }},
        {{"`CommitTransation`", "the commit fails and SQLite rolls the transaction back (a full disk); no transaction"},
         [](FailureTextTest& t) {
             FaultVfs vfs;
             t.TableT();
             EXPECT_EQ(t.object->BeginTransation(), S_OK);
             EXPECT_EQ(t.Insert(OLESTR("T"), OLESTR("id"), OLESTR("1")), 1);
             vfs.FullAfter(0);
             t.Mark();
             const HRESULT hr = t.object->CommitTransation();
             vfs.Heal();
             return t.Hr(hr);
         }},
        {{"`CommitTransation`",
          "SQLite rolled the transaction back during one of its writes (an I/O error); no transaction"},
         [](FailureTextTest& t) {
             FaultVfs vfs;
             t.RolledBackTransaction(vfs);
             t.Mark();
             return t.Hr(t.object->CommitTransation());
         }},
        {{"`DropTable`",
          "the drop statement fails in SQLite (a table that does not exist, a lock held past the busy timeout)"},
         [](FailureTextTest& t) {
             t.TableT();
             LONG ret = 7;
             t.Mark();
             const HRESULT hr = t.object->DropTable(BstrArg(""), BstrArg("Nope"), &ret);
             return t.Hr(hr) + (ret == 7 ? ", plRet untouched" : ", plRet written");
         }},
        {{"`DropTable`",
          "an empty `TableName` and the current database file cannot be deleted (a folder stands at its path; on "
          "Windows, a file that another program holds open)"},
         [](FailureTextTest& t) {
             fs::create_directory(t.dir / "folder");
             EXPECT_EQ(t.Create(t.StarFile("folder"), OLESTR("T"), OLESTR("id")), 0);
             LONG ret = 7;
             t.Mark();
             const HRESULT hr = t.object->DropTable(BstrArg(""), BstrArg(""), &ret);
             EXPECT_TRUE(fs::is_directory(t.dir / "folder"));
             return t.Hr(hr) + (ret == 7 ? ", plRet untouched" : ", plRet written");
         }},
        {{"`DropTable`", "the current database file is missing and no `CreateDbFile` is recorded to rebuild it"},
         [](FailureTextTest& t) {
             LONG ret = 7;
             t.Mark();
             const HRESULT hr = t.object->DropTable(BstrArg(""), BstrArg("T"), &ret);
             return t.Hr(hr) + (ret == 7 ? ", plRet untouched" : ", plRet written");
         }},
    };
    return scenarios;
}

TEST_P(FailureTextTest, RowIsProducedWithItsOutcomeAndLines) {
    const Row& row = TableRows()[GetParam()];
    SCOPED_TRACE(row.methods + ": " + row.failure);
    const auto scenario = Scenarios().find({row.methods, row.failure});
    ASSERT_NE(scenario, Scenarios().end()) << "no scenario for this row";
    const std::string outcome = scenario->second(*this);
    if (HasFatalFailure()) return;
    EXPECT_EQ(outcome, row.outcome);
    // A failure never answers without a line.
    EXPECT_FALSE(row.lines.empty());
    const std::vector<WString> logs = sink.Logs();
    ASSERT_EQ(logs.size(), row.lines.size()) << "lines received:\n" << [&] {
        std::string all;
        for (const WString& line : logs) all += Narrow(line) + "\n";
        return all;
    }();
    const WString prefix = OLESTR("ZeveVevuVAD64--");
    for (size_t i = 0; i < logs.size(); ++i) {
        ASSERT_EQ(logs[i].rfind(prefix, 0), 0u);
        EXPECT_TRUE(Matches(row.lines[i], logs[i].substr(prefix.size())))
            << "line " << i << ": " << Narrow(logs[i]) << "\ndocumented: " << Narrow(row.lines[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Documented, FailureTextTest, ::testing::Range<size_t>(0, TableRows().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             // The row's place, its first method and the start of its failure.
                             const Row& row = TableRows()[info.param];
                             std::string name = std::to_string(info.param);
                             for (const char c : row.methods.substr(0, row.methods.find(',')) + " " + row.failure) {
                                 if (name.size() >= 56) break;
                                 if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += c;
                                 else if (name.back() != '_') name += '_';
                             }
                             if (name.back() == '_') name.pop_back();
                             return name;
                         });

// Every scenario belongs to a row of the document: none is left behind when
// a row goes.
TEST(FailureTableTest, EveryScenarioHasItsRow) {
    EXPECT_GE(TableRows().size(), 20u);
    for (const auto& [key, scenario] : Scenarios()) {
        bool found = false;
        for (const Row& row : TableRows()) found = found || (row.methods == key.first && row.failure == key.second);
        EXPECT_TRUE(found) << key.first << ": " << key.second;
    }
}

}  // namespace
