#include "BulkImporter.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
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
#include "sqlite/Utf8Text.h"
#include "textfile/CStdioFileEx.h"

namespace {
// The open flags of the import's text file: read, text type, share-deny-none.
const UINT kImportOpenFlags = 0x4040;

// Rows longer than this many units go through the one statement.
constexpr size_t kLongestStreamedRow = size_t{1} << 28;

// Each part after the first of a joined text ('a'||char(10)||'b') adds at
// most this many instructions to the one statement (four, as EXPLAIN shows).
constexpr uint64_t kJoinedPartInstructions = 5;

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
// a fixed part, which the same statement with two rows shows, and `extra`
// for the joined texts.
bool ProgramFits(sqlite3* db, const WString& table, uint64_t rows, uint64_t valuesPerRow, uint64_t extra) {
    if (rows < 2) return true;
    const uint64_t limit = static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_VDBE_OP, -1));
    uint64_t room = 1024 / 24;
    while (room * 2 <= limit) room *= 2;
    const uint64_t perRow = valuesPerRow + 1;
    if (rows * perRow + extra <= room / 2) return true;
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
    return fixed + rows * perRow + extra <= room;
}

using Failure = BulkImporter::Failure;

// The start of a row for a failure line: at most kRowExcerpt units, never
// ending in half of a surrogate pair.
WString Excerpt(RowScanner::View row) {
    size_t length = std::min(row.size(), BulkImporter::kRowExcerpt);
    if (length < row.size() && length > 0 && row[length - 1] >= 0xD800 && row[length - 1] <= 0xDBFF) --length;
    return WString(row.substr(0, length));
}

const OLECHAR* ErrorText(sqlite3* db) { return static_cast<const OLECHAR*>(sqlite3_errmsg16(db)); }

// A failure in SQLite: its code and message on db.
void SetSqlite(Failure& failure, int code, sqlite3* db) {
    failure.kind = Failure::Kind::Sqlite;
    failure.code = code;
    const OLECHAR* message = ErrorText(db);
    failure.message = message != nullptr ? message : OLESTR("");
}

// SQLite's answer to compiling sql, with one of its limits lowered for the
// try when limit is not negative: the failure that the one statement meets,
// told by SQLite itself on a statement short enough to compile here.
void CompileFailure(sqlite3* db, const WString& sql, int limit, int value, Failure& failure) {
    const int old = limit >= 0 ? sqlite3_limit(db, limit, value) : 0;
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare16_v2(db, sql.c_str(), -1, &statement, nullptr);
    SetSqlite(failure, rc, db);
    sqlite3_finalize(statement);
    if (limit >= 0) sqlite3_limit(db, limit, old);
}

WString NullRow(size_t values) {
    WString row = OLESTR("(NULL");
    for (size_t i = 1; i < values; ++i) row += OLESTR(",NULL");
    return row + OLESTR(")");
}

// The bytes of text in UTF-8 as Utf8Text converts it: a lone surrogate
// becomes U+FFFD, three bytes.
uint64_t Utf8Bytes(RowScanner::View text) {
    uint64_t bytes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const OLECHAR unit = text[i];
        if (unit < 0x80) {
            bytes += 1;
        } else if (unit < 0x800) {
            bytes += 2;
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// Utf8Bytes of the row with every column separator replaced by ",", counted
// without making that text (RowText makes it for the rows to store).
uint64_t ReplacedBytes(RowScanner::View row, const WString& columnSplit) {
    if (columnSplit.empty()) return Utf8Bytes(row);
    uint64_t bytes = 0;
    size_t at = 0;
    for (size_t hit = row.find(columnSplit); hit != RowScanner::View::npos;
         at = hit + columnSplit.size(), hit = row.find(columnSplit, at))
        bytes += Utf8Bytes(row.substr(at, hit - at)) + 1;
    return bytes + Utf8Bytes(row.substr(at));
}

// Runs the statements of sql one after the other as sqlite3_exec does; on a
// failure, failure holds SQLite's answer and the byte of sql where SQLite
// stopped (the start of the failing statement when SQLite does not say).
bool RunStatements(sqlite3* db, const WString& sql, Failure& failure) {
    const Utf8Text text(sql);
    const char* const start = text.c_str();
    if (start == nullptr) return true;
    const char* at = start;
    while (*at != 0) {
        sqlite3_stmt* statement = nullptr;
        const char* rest = at;
        int rc = sqlite3_prepare_v2(db, at, -1, &statement, &rest);
        if (rc == SQLITE_OK && statement != nullptr) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
            }
            rc = sqlite3_finalize(statement);
        }
        if (rc != SQLITE_OK) {
            SetSqlite(failure, rc, db);
            const int offset = sqlite3_error_offset(db);
            failure.errorByte = (at - start) + (offset > 0 ? offset : 0);
            return false;
        }
        if (statement == nullptr) {
            at = rest;  // only a comment or white space was left
            continue;
        }
        at = rest;
        while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
    }
    return true;
}

// Reads the rest of the file, rows cut and classified as they arrive, and
// stores them on the batch connection while every row so far is a plain
// literal list. A refusal is only final once every row is known plain:
// a later row could still change what the one statement means (an ON
// CONFLICT clause, a second statement).
// On Failed, failure says what the one statement would meet: a refusal
// that SQLite makes before it stores anything (the statement's length, rows
// of different lengths, the size of its program) outranks one met while
// rows are stored, and the first of each rank is kept.
Streamed StreamRows(sqlite3* db, CStdioFileEx& file, const WString& table, const WString& rowSplit,
                    const WString& columnSplit, Failure& failure) {
    enum Rank { kNone = -1, kStoring, kProgram, kTerms, kLength };
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
    int rank = kNone;
    WString firstRow;
    // The first row of the literal rows that the inserter gathers.
    uint64_t gatheredRow = 0;
    WString gatheredText;
    // A join is an expression as deep as its parts; one near SQLite's limit
    // on that depth is left to the one statement.
    const auto depthLimit = static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, -1));
    uint64_t joinedInstructions = 0;  // at most this many for all joins

    auto record = [&](int newRank, uint64_t number, WStringView text) {
        if (newRank <= rank) return false;
        rank = newRank;
        failure.row = number;
        failure.rowText = WString(text);
        return true;
    };
    auto stored = [&](RowInserter::Result result, uint64_t number, RowScanner::View piece) {
        if (result != RowInserter::Result::Failed) return;
        refused = true;
        const bool gathered = inserter.GatheredFailed();
        if (record(kStoring, gathered ? gatheredRow : number, gathered ? WStringView(gatheredText) : Excerpt(piece)))
            SetSqlite(failure, sqlite3_errcode(db), db);
    };
    auto take = [&](RowScanner::View piece) {
        const RowScanner::View text = RowText(piece, columnSplit, replaced);
        if (text.size() > kLongestStreamedRow) return false;
        size_t utf8Size = 0;
        const RowScanner::RowKind kind = RowScanner::Scan(text, values, utf8Size);
        if (kind == RowScanner::RowKind::Other) return false;
        for (const RowScanner::Value& value : values) {
            if (value.kind != RowScanner::Value::Kind::Joined) continue;
            if (depthLimit > 0 && value.parts > depthLimit / 2) return false;
            joinedInstructions += kJoinedPartInstructions * (value.parts - 1);
        }
        statementBytes += utf8Size + (rows == 0 ? 2 : 3);
        if (rows++ == 0) {
            valuesPerRow = values.size();
            firstRow = Excerpt(piece);
        }
        // Rows of different lengths: the one statement cannot be compiled.
        if (values.size() != valuesPerRow) {
            refused = true;
            if (record(kTerms, rows, Excerpt(piece)))
                CompileFailure(db, OLESTR("INSERT INTO ") + table + OLESTR(" VALUES ") + NullRow(valuesPerRow) +
                                       OLESTR(",") + NullRow(values.size()),
                               -1, 0, failure);
        }
        if (refused) return true;
        if (kind == RowScanner::RowKind::Bindable) {
            const RowInserter::Result result = inserter.InsertBound(text, values);
            if (result == RowInserter::Result::Unprepared) return false;
            stored(result, rows, piece);
        } else {
            if (inserter.GatheredRows() == 0) {
                gatheredRow = rows;
                gatheredText = Excerpt(piece);
            }
            stored(inserter.AddLiteralRow(text), rows, piece);
        }
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
        stored(result, rows, RowScanner::View());
    }
    // No rows leave "INSERT INTO T VALUES ;", which does not compile.
    if (rows == 0) {
        const WString none = OLESTR("INSERT INTO ") + table + OLESTR(" VALUES ;");
        CompileFailure(db, none, -1, 0, failure);
        failure.statement = none;
        return Streamed::Failed;
    }
    if (statementBytes > static_cast<uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, -1))) {
        if (record(kLength, 1, firstRow))
            CompileFailure(db, OLESTR("INSERT INTO ") + table + OLESTR(" VALUES (NULL)"), SQLITE_LIMIT_SQL_LENGTH, 1,
                           failure);
        return Streamed::Failed;
    }
    if (!refused && !ProgramFits(db, table, rows, valuesPerRow, 0)) {
        if (record(kProgram, 1, firstRow))
            CompileFailure(db, OLESTR("INSERT INTO ") + table + OLESTR(" VALUES ") + NullRow(valuesPerRow) +
                                   OLESTR(",") + NullRow(valuesPerRow),
                           SQLITE_LIMIT_VDBE_OP, 1, failure);
        return Streamed::Failed;
    }
    // The joins' count is a bound: near the limit only the one statement knows.
    if (joinedInstructions > 0 && !ProgramFits(db, table, rows, valuesPerRow, joinedInstructions))
        return Streamed::Redo;
    return refused ? Streamed::Failed : Streamed::Stored;
}

// The row of the one statement that holds byte offset of its UTF-8 text:
// the file read again and cut as the statement was built, each row's bytes
// counted as the statement holds them. Without rows, the statement itself.
void LocateRow(const WString& filePath, const WString& table, const WString& rowSplit, const WString& columnSplit,
               const WString& sql, Failure& failure) {
    const uint64_t offset = static_cast<uint64_t>(failure.errorByte);
    CStdioFileEx file;
    if (!file.Open(filePath.c_str(), kImportOpenFlags)) return;
    RowCutter cutter(rowSplit);
    WString line, last;
    RowCutter::View row;
    uint64_t number = 0;
    // "INSERT INTO T VALUES " before the rows; each row "(row)" or ",(row)".
    uint64_t end = Utf8Bytes(OLESTR("INSERT INTO ") + table + OLESTR(" VALUES "));
    auto found = [&](RowScanner::View piece) {
        ++number;
        end += (number == 1 ? 2 : 3) + ReplacedBytes(piece, columnSplit);
        if (offset < end) {
            failure.row = number;
            failure.rowText = Excerpt(piece);
            return true;
        }
        last = Excerpt(piece);
        return false;
    };
    while (file.ReadString(line)) {
        cutter.Append(std::move(line));
        while (cutter.Next(row))
            if (found(row)) return;
    }
    if (cutter.Finish(row) && found(row)) return;
    // Past the last row: its end, or a statement that a row's text began.
    failure.row = number;
    failure.rowText = last;
    if (number == 0) failure.statement = sql;
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

bool BulkImporter::ExecBatch(const WString& dbPath, const WString& sql, Failure* failure) {
    Failure ignored;
    Failure& why = failure != nullptr ? *failure : ignored;
    if (GetFileAttributesW(dbPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        why.kind = Failure::Kind::DatabaseMissing;
        return false;
    }
    DirectConnection connection;
    if (const int rc = sqlite3_open(HostPath::ForOpenUtf8(dbPath).c_str(), &connection.db); rc != SQLITE_OK) {
        SetSqlite(why, rc, connection.db);
        why.statement = dbPath;
        return false;
    }
    DirectConnection::MakeCommitsDurable(connection.db);
    connection.Exec(OLESTR("BEGIN TRANSACTION;"));
    if (!RunStatements(connection.db, sql, why)) return false;  // the close rolls back
    // A commit that fails (another connection reading) would lose every row
    // at the close: it is reported as a failure, never as success.
    const WString commit = OLESTR("COMMIT TRANSACTION;");
    if (const int rc = connection.Exec(commit); rc != SQLITE_OK) {
        SetSqlite(why, rc, connection.db);
        why.statement = commit;
        return false;
    }
    return true;
}

BulkImporter::Outcome BulkImporter::ImportOneStatement(const WString& dbPath, const WString& filePath,
                                                       const WString& table, const WString& rowSplit,
                                                       const WString& columnSplit, Failure* failure) {
    Failure ignored;
    Failure& why = failure != nullptr ? *failure : ignored;
    WString text;
    if (!ReadFileText(filePath, text)) {
        why.kind = Failure::Kind::FileNotOpened;
        why.systemError = errno;
        return Outcome::FileNotOpened;
    }
    WString sql = BuildStatement(text, table, rowSplit, columnSplit);
    text.clear();
    text.shrink_to_fit();
    if (ExecBatch(dbPath, sql, &why)) return Outcome::Stored;
    // Only now, after the failure, is its row looked for.
    if (failure != nullptr && why.errorByte >= 0) {
        // The rows are read again from the file: the statement's text is not
        // needed beyond a statement without rows.
        if (sql.size() > 64 * 1024) sql.clear();
        LocateRow(filePath, table, rowSplit, columnSplit, sql, why);
    }
    return Outcome::Failed;
}

BulkImporter::Outcome BulkImporter::Import(const WString& dbPath, const WString& filePath, const WString& table,
                                           const WString& rowSplit, const WString& columnSplit, Failure* failure) {
    if (!IsPlainName(table)) return ImportOneStatement(dbPath, filePath, table, rowSplit, columnSplit, failure);
    Failure ignored;
    Failure& why = failure != nullptr ? *failure : ignored;
    Streamed streamed = Streamed::Failed;
    {
        CStdioFileEx file;
        if (!file.Open(filePath.c_str(), kImportOpenFlags)) {
            why.kind = Failure::Kind::FileNotOpened;
            why.systemError = errno;
            return Outcome::FileNotOpened;
        }
        if (GetFileAttributesW(dbPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            why.kind = Failure::Kind::DatabaseMissing;
            return Outcome::Failed;
        }
        DirectConnection connection;
        // The connection is this call's alone: SQLite need not lock it at
        // each of the several calls per row.
        if (const int rc = sqlite3_open_v2(HostPath::ForOpenUtf8(dbPath).c_str(), &connection.db,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
            rc != SQLITE_OK) {
            SetSqlite(why, rc, connection.db);
            why.statement = dbPath;
            return Outcome::Failed;
        }
        DirectConnection::MakeCommitsDurable(connection.db);
        connection.Exec(OLESTR("BEGIN TRANSACTION;"));
        if (!RowsStoreAlike(connection.db)) {
            streamed = Streamed::Redo;
        } else {
            streamed = StreamRows(connection.db, file, table, rowSplit, columnSplit, why);
        }
        file.Close();
        // Closing without a commit rolls every stored row back.
        const WString commit = OLESTR("COMMIT TRANSACTION;");
        if (streamed == Streamed::Stored) {
            if (const int rc = connection.Exec(commit); rc != SQLITE_OK) {
                SetSqlite(why, rc, connection.db);
                why.row = 0;
                why.statement = commit;
                streamed = Streamed::Failed;
            }
        }
    }
    if (streamed == Streamed::Redo) {
        why = Failure();
        return ImportOneStatement(dbPath, filePath, table, rowSplit, columnSplit, failure);
    }
    return streamed == Streamed::Stored ? Outcome::Stored : Outcome::Failed;
}
