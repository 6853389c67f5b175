#include "SchemaCreator.h"

#include <sqlite3.h>

#include <cstdint>

#include "sqlite/DirectConnection.h"
#include "FailureText.h"
#include "ParamList.h"
#include "sqlite/Utf16Text.h"
#include "sqlite/Utf8Text.h"
#include "com/HostPath.h"
#include "com/WideFormat.h"

namespace {
bool IsSeparator(OLECHAR c) { return c == OLESTR('\\') || c == OLESTR('/'); }

const OLECHAR* ErrorText(sqlite3* db) { return static_cast<const OLECHAR*>(sqlite3_errmsg16(db)); }

// Whether the table argument names a table (or view) that SQLite knows, in
// whatever case it was created: SQLite's names ignore case where the test
// of sqlite_master does not.
bool TableKnown(sqlite3* db, const WString& table) {
    const WString query = OLESTR("SELECT * FROM ") + table;
    sqlite3_stmt* statement = nullptr;
    const void* tail = nullptr;
    const bool compiled = sqlite3_prepare16_v2(db, query.c_str(), -1, &statement, &tail) == SQLITE_OK &&
                          statement != nullptr &&
                          (tail == nullptr || *static_cast<const OLECHAR*>(tail) == 0);
    sqlite3_finalize(statement);
    return compiled;
}
}  // namespace

int SchemaCreator::ReadCount(const WString& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) value = int64_t(INT32_MAX) + 1;  // saturates; reads stay in range
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int>(value);
}

WString SchemaCreator::ParseTableArgument(const WString& tableArgument, TableOptions& options) {
    options = TableOptions();
    std::vector<WString> pieces = ParamList::SplitString(tableArgument, OLESTR("|"));
    if (pieces.size() <= 1) return tableArgument;
    if (pieces.size() > 1) options.primaryKey = pieces[1] != OLESTR("0");
    if (pieces.size() > 2) options.caseSensitive = pieces[2] == OLESTR("1");
    if (pieces.size() > 3) options.indexCount = ReadCount(pieces[3]);
    if (pieces.size() > 4) options.keyCount = ReadCount(pieces[4]);
    return pieces[0];
}

WString SchemaCreator::TableStatement(const WString& table, const std::vector<WString>& columns,
                                      const TableOptions& options) {
    WString definitions;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i == 0) {
            definitions = columns[0] + OLESTR(" TEXT");
            if (options.primaryKey && options.keyCount == 0) definitions += OLESTR(" PRIMARY KEY");
            if (!options.caseSensitive) definitions += OLESTR(" COLLATE NOCASE");
        } else {
            definitions += OLESTR(", ") + columns[i] + OLESTR(" TEXT");
        }
    }
    if (options.keyCount > 0) {
        WString keys;
        for (size_t i = 0; i < columns.size() && i < static_cast<size_t>(options.keyCount); ++i)
            keys += (i == 0 ? WString() : WString(OLESTR(", "))) + columns[i];
        definitions = WideFormat::Format(OLESTR("%s, PRIMARY KEY (%s)"), {definitions, keys});
    }
    return WideFormat::Format(OLESTR("CREATE TABLE %s(%s);"), {table, definitions});
}

std::vector<WString> SchemaCreator::IndexStatements(const WString& table, const std::vector<WString>& columns,
                                                    int indexCount) {
    std::vector<WString> statements;
    if (indexCount <= 0) return statements;
    WString indexList;
    for (size_t i = 0; i < columns.size() && i < static_cast<size_t>(indexCount); ++i) {
        indexList += (i == 0 ? WString() : WString(OLESTR(", "))) + OLESTR("'") + columns[i] + OLESTR("'");
        if (indexCount > 1)
            statements.push_back(WideFormat::Format(OLESTR("CREATE INDEX `%s-%d` ON `%s` ('%s');"),
                                                    {table, static_cast<int>(i), table, columns[i]}));
    }
    statements.push_back(
        WideFormat::Format(OLESTR("CREATE INDEX `%s-%d` ON `%s` (%s);"), {table, indexCount, table, indexList}));
    return statements;
}

void SchemaCreator::CreateFolders(const WString& path) {
    size_t last = WString::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparator(path[i])) last = i;
    if (last == WString::npos) return;
    WString folder = path.substr(0, last + 1);
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
    // One level at a time from the first prefix to the last; failures (a level
    // that exists, a drive root) are ignored and surface at the open. Each
    // prefix keeps the separator the path has there, so that a host path
    // beginning with "/" stays one.
    for (size_t end = 0; end < folder.size(); ++end)
        if (IsSeparator(folder[end])) CreateDirectoryW(folder.substr(0, end + 1).c_str(), nullptr);
}

bool SchemaCreator::CreateDB(LogSink& log, const WString& path, const WString& table, const WString& columnList,
                             const TableOptions& options) {
    if (path.empty()) return false;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) CreateFolders(path);

    DirectConnection connection;
    WString hostPath = HostPath::ForOpen(path);
    int rc = sqlite3_open16(Utf16Text(hostPath.c_str()).c_str(), &connection.db);
    if (rc != SQLITE_OK) {
        log.WriteLog(WideFormat::Format(OLESTR("CreateDB open fail:%d"), {rc}));
        log.WriteLog(FailureText::Sqlite(rc, ErrorText(connection.db), path));
        return false;
    }

    const WString check =
        WideFormat::Format(OLESTR("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='%s'"), {table});
    Utf8Text query(check);
    const char* tail = nullptr;
    rc = sqlite3_prepare_v2(connection.db, query.c_str(), static_cast<int>(query.size()), &connection.statement,
                            &tail);
    if (rc != SQLITE_OK) {
        WString rest = (tail != nullptr && *tail != 0) ? Utf8Text::ToWide(tail) : WString();
        log.WriteLog(WideFormat::Format(OLESTR("CreateDB Error:%d, %s"), {rc, rest}));
        log.WriteLog(FailureText::Sqlite(rc, ErrorText(connection.db), check));
        return false;
    }
    int count = 0;
    while (sqlite3_step(connection.statement) == SQLITE_ROW) count = sqlite3_column_int(connection.statement, 0);
    if (count != 0) return true;

    std::vector<WString> columns = ParamList::SplitString(columnList, OLESTR(","));
    if (columns.empty()) {
        log.WriteLog(WideFormat::Format(OLESTR("CreateDB Parma error:%s"), {columnList}));
        log.WriteLog(FailureText::Line(FailureText::Id::EmptyColumnList, {table}));
        return false;
    }
    // A statement that fails ends the creation with SQLite's line: nothing
    // of it is committed (the close rolls the transaction back), so a table
    // reported as not made is not there half made.
    auto run = [&](const WString& sql) {
        const int result = connection.Exec(sql);
        if (result == SQLITE_OK) return true;
        log.WriteLog(FailureText::Sqlite(result, ErrorText(connection.db), sql));
        return false;
    };
    // A table that answers 1 is on disk, whatever happens next.
    DirectConnection::MakeCommitsDurable(connection.db);
    if (!run(OLESTR("BEGIN TRANSACTION;"))) return false;
    const WString tableStatement = TableStatement(table, columns, options);
    rc = connection.Exec(tableStatement);
    if (rc != SQLITE_OK) {
        const WString line = FailureText::Sqlite(rc, ErrorText(connection.db), tableStatement);
        if (!TableKnown(connection.db, table)) {
            log.WriteLog(line);
            return false;
        }
        // The table is there under another case of its name: an existing
        // table answers true, and its indexes are tried as they always were.
        for (const WString& statement : IndexStatements(table, columns, options.indexCount))
            connection.Exec(statement);
        connection.Exec(OLESTR("COMMIT TRANSACTION;"));
        return true;
    }
    for (const WString& statement : IndexStatements(table, columns, options.indexCount))
        if (!run(statement)) return false;
    return run(OLESTR("COMMIT TRANSACTION;"));
}
