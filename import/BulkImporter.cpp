#include "BulkImporter.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "RowCutter.h"
#include "RowInserter.h"
#include "RowScanner.h"
#include "com/HostPath.h"
#include "com/WideFormat.h"
#include "sqlite/DirectConnection.h"
#include "textfile/CStdioFileEx.h"

namespace {
// The open flags of the import's text file: read, text type, share-deny-none.
const UINT kImportOpenFlags = 0x4040;

// Rows longer than this many units go through the one statement.
constexpr size_t kLongestStreamedRow = size_t{1} << 28;

// How the streamed import ended.
enum class Streamed { Stored, Failed, Redo };

// Only a plain identifier names the same table in any statement text.
bool IsPlainName(const WString& name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const OLECHAR c = name[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

// The row with every column separator replaced by ",".
RowScanner::View RowText(RowScanner::View row, const WString& columnSplit, WString& replaced) {
    if (columnSplit.empty()) return row;
    if (columnSplit.size() == 1) {
        // One unit, the usual case: one pass that the compiler vectorises.
        const OLECHAR split = columnSplit[0];
        replaced.resize(row.size());
        std::transform(row.begin(), row.end(), replaced.begin(),
                       [split](OLECHAR c) { return c == split ? OLESTR(',') : c; });
        return replaced;
    }
    size_t hit = row.find(columnSplit);
    if (hit == RowScanner::View::npos) return row;
    replaced.clear();
    size_t at = 0;
    for (; hit != RowScanner::View::npos; at = hit + columnSplit.size(), hit = row.find(columnSplit, at))
        replaced.append(row.substr(at, hit - at)).push_back(OLESTR(','));
    replaced.append(row.substr(at));
    return replaced;
}

int64_t QueryInteger(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && statement != nullptr &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

// Triggers see statement boundaries (changes(), and the table as each
// statement leaves it), and enforced foreign keys are checked at the end of
// each statement: with either, only the one statement gives its results.
bool RowsStoreAlike(sqlite3* db) {
    return QueryInteger(db, "SELECT count(*) FROM sqlite_schema WHERE type = 'trigger'") == 0 &&
           QueryInteger(db, "PRAGMA foreign_keys") == 0;
}

// SQLite grows a program's instruction array by doubling from 1024 bytes of
// 24-byte instructions and refuses to grow it past SQLITE_LIMIT_VDBE_OP; the
// one statement needs one instruction per value plus one per row on top of
// a fixed part, which the same statement with two rows shows.
bool ProgramFits(sqlite3* db, const WString& table, uint64_t rows, uint64_t valuesPerRow) {
    if (rows < 2) return true;
    const uint64_t limit = static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_VDBE_OP, -1));
    uint64_t room = 1024 / 24;
    while (room * 2 <= limit) room *= 2;
    const uint64_t perRow = valuesPerRow + 1;
    if (rows * perRow <= room / 2) return true;
    WString row = OLESTR("(NULL");
    for (uint64_t i = 1; i < valuesPerRow; ++i) row += OLESTR(",NULL");
    row += OLESTR(")");
    const WString explain = OLESTR("EXPLAIN INSERT INTO ") + table + OLESTR(" VALUES ") + row + OLESTR(",") + row;
    sqlite3_stmt* statement = nullptr;
    uint64_t twoRows = 0;
    if (sqlite3_prepare16_v2(db, explain.c_str(), -1, &statement, nullptr) == SQLITE_OK && statement != nullptr)
        while (sqlite3_step(statement) == SQLITE_ROW) ++twoRows;
    sqlite3_finalize(statement);
    const uint64_t fixed = twoRows > 2 * perRow ? twoRows - 2 * perRow : 0;
    return fixed + rows * perRow <= room;
}

// Reads the rest of the file, rows cut and classified as they arrive, and
// stores them on the batch connection while every row so far is a plain
// literal list. A refusal is only final once every row is known plain:
// a later row could still change what the one statement means (an ON
// CONFLICT clause, a second statement).
Streamed StreamRows(sqlite3* db, CStdioFileEx& file, const WString& table, const WString& rowSplit,
                    const WString& columnSplit) {
    RowInserter inserter(db, table);
    RowCutter cutter(rowSplit);
    std::vector<RowScanner::Value> values;
    WString line, replaced;
    RowCutter::View row;
    uint64_t rows = 0;
    size_t valuesPerRow = 0;
    // Bytes of "INSERT INTO T VALUES (row),(row);" as SQLite counts them.
    uint64_t statementBytes = 12 + table.size() + 8 + 1;
    bool refused = false;

    auto take = [&](RowScanner::View piece) {
        const RowScanner::View text = RowText(piece, columnSplit, replaced);
        if (text.size() > kLongestStreamedRow) return false;
        size_t utf8Size = 0;
        const RowScanner::RowKind kind = RowScanner::Scan(text, values, utf8Size);
        if (kind == RowScanner::RowKind::Other) return false;
        statementBytes += utf8Size + (rows == 0 ? 2 : 3);
        if (rows++ == 0) valuesPerRow = values.size();
        // Rows of different lengths: the one statement cannot be compiled.
        if (values.size() != valuesPerRow) refused = true;
        if (refused) return true;
        const RowInserter::Result result = kind == RowScanner::RowKind::Bindable
                                               ? inserter.InsertBound(text, values)
                                               : inserter.AddLiteralRow(text);
        if (result == RowInserter::Result::Unprepared) return false;
        if (result == RowInserter::Result::Failed) refused = true;
        return true;
    };

    while (file.ReadString(line)) {
        cutter.Append(std::move(line));
        while (cutter.Next(row))
            if (!take(row)) return Streamed::Redo;
    }
    if (cutter.Finish(row) && !take(row)) return Streamed::Redo;
    if (!refused) {
        const RowInserter::Result result = inserter.Flush();
        if (result == RowInserter::Result::Unprepared) return Streamed::Redo;
        if (result == RowInserter::Result::Failed) refused = true;
    }
    // No rows leave "INSERT INTO T VALUES ;", which does not compile.
    if (rows == 0 || refused) return Streamed::Failed;
    if (statementBytes > static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, -1)))
        return Streamed::Failed;
    if (!ProgramFits(db, table, rows, valuesPerRow)) return Streamed::Failed;
    return Streamed::Stored;
}
}  // namespace

bool BulkImporter::ReadFileText(const WString& filePath, WString& text) {
    text.clear();
    CStdioFileEx file;
    if (!file.Open(filePath.c_str(), kImportOpenFlags)) return false;
    WString line;
    while (file.ReadString(line)) text += line;
    file.Close();
    return true;
}

WString BulkImporter::BuildStatement(const WString& fileText, const WString& table, const WString& rowSplit,
                                     const WString& columnSplit) {
    // The list rule over the whole text; an empty row separator cannot
    // split, so the whole text is then one row.
    std::vector<WString> rows;
    RowCutter cutter(rowSplit);
    cutter.Append(fileText);
    RowCutter::View row;
    while (cutter.Next(row)) rows.emplace_back(row);
    if (cutter.Finish(row)) rows.emplace_back(row);
    WString sql = WideFormat::Format(OLESTR("INSERT INTO %s VALUES "), {table});
    sql.reserve(sql.size() + fileText.size() + rows.size() * 3 + 1);
    bool first = true;
    for (const WString& row : rows) {
        sql.append(first ? OLESTR("(") : OLESTR(",("));
        if (columnSplit.empty()) {
            sql.append(row);
        } else {
            size_t at = 0;
            for (size_t hit; (hit = row.find(columnSplit, at)) != WString::npos; at = hit + columnSplit.size())
                sql.append(row, at, hit - at).push_back(OLESTR(','));
            sql.append(row, at, WString::npos);
        }
        sql.push_back(OLESTR(')'));
        first = false;
    }
    sql.push_back(OLESTR(';'));
    return sql;
}

bool BulkImporter::ExecBatch(const WString& dbPath, const WString& sql) {
    if (GetFileAttributesW(dbPath.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    DirectConnection connection;
    if (sqlite3_open(HostPath::ForOpenUtf8(dbPath).c_str(), &connection.db) != SQLITE_OK) return false;
    DirectConnection::MakeCommitsDurable(connection.db);
    connection.Exec(OLESTR("BEGIN TRANSACTION;"));
    if (connection.Exec(sql, true) != SQLITE_OK) return false;  // the close rolls back
    // A commit that fails (another connection reading) would lose every row
    // at the close: it is reported as a failure, never as success.
    return connection.Exec(OLESTR("COMMIT TRANSACTION;")) == SQLITE_OK;
}

BulkImporter::Outcome BulkImporter::ImportOneStatement(const WString& dbPath, const WString& filePath,
                                                       const WString& table, const WString& rowSplit,
                                                       const WString& columnSplit) {
    WString text;
    if (!ReadFileText(filePath, text)) return Outcome::FileNotOpened;
    WString sql = BuildStatement(text, table, rowSplit, columnSplit);
    text.clear();
    text.shrink_to_fit();
    return ExecBatch(dbPath, sql) ? Outcome::Stored : Outcome::Failed;
}

BulkImporter::Outcome BulkImporter::Import(const WString& dbPath, const WString& filePath, const WString& table,
                                           const WString& rowSplit, const WString& columnSplit) {
    if (!IsPlainName(table)) return ImportOneStatement(dbPath, filePath, table, rowSplit, columnSplit);
    Streamed streamed = Streamed::Failed;
    {
        CStdioFileEx file;
        if (!file.Open(filePath.c_str(), kImportOpenFlags)) return Outcome::FileNotOpened;
        if (GetFileAttributesW(dbPath.c_str()) == INVALID_FILE_ATTRIBUTES) return Outcome::Failed;
        DirectConnection connection;
        // The connection is this call's alone: SQLite need not lock it at
        // each of the several calls per row.
        if (sqlite3_open_v2(HostPath::ForOpenUtf8(dbPath).c_str(), &connection.db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return Outcome::Failed;
        DirectConnection::MakeCommitsDurable(connection.db);
        connection.Exec(OLESTR("BEGIN TRANSACTION;"));
        if (!RowsStoreAlike(connection.db)) {
            streamed = Streamed::Redo;
        } else {
            streamed = StreamRows(connection.db, file, table, rowSplit, columnSplit);
        }
        file.Close();
        // Closing without a commit rolls every stored row back.
        if (streamed == Streamed::Stored && connection.Exec(OLESTR("COMMIT TRANSACTION;")) != SQLITE_OK)
            streamed = Streamed::Failed;
    }
    if (streamed == Streamed::Redo) return ImportOneStatement(dbPath, filePath, table, rowSplit, columnSplit);
    return streamed == Streamed::Stored ? Outcome::Stored : Outcome::Failed;
}
