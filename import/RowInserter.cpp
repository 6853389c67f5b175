#include "RowInserter.h"

#include <sqlite3.h>

#include <cstdint>
#include <utility>

namespace {
// Gathered literal rows go to SQLite in statements of about this size: large
// enough that compiling is cheap per row, small enough to stay in cache.
constexpr size_t kLiteralChunkUnits = 32 * 1024;
constexpr size_t kLiteralChunkRows = 256;

// The longest decimal text of a 64-bit integer: "-9223372036854775808".
constexpr size_t kLongestInteger = 20;

// Appends value as SQLite writes an integer as text.
void AppendDecimal(int64_t value, WString& out) {
    OLECHAR digits[kLongestInteger];
    size_t at = kLongestInteger;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[--at] = static_cast<OLECHAR>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[--at] = OLESTR('-');
    out.append(digits + at, kLongestInteger - at);
}

// SQLite's rule for a declared type: any "INT" gives INTEGER affinity,
// otherwise "CHAR", "CLOB" or "TEXT" give TEXT (letters in any case).
bool HasTextAffinity(const unsigned char* type) {
    if (type == nullptr) return false;
    bool text = false;
    uint32_t last = 0;  // the last four letters, lower case
    for (; *type != 0; ++type) {
        const unsigned char c = *type >= 'A' && *type <= 'Z' ? static_cast<unsigned char>(*type - 'A' + 'a') : *type;
        last = (last << 8) | c;
        if ((last & 0xFFFFFF) == ('i' << 16 | 'n' << 8 | 't')) return false;
        if (last == ('c' << 24 | 'h' << 16 | 'a' << 8 | 'r') || last == ('c' << 24 | 'l' << 16 | 'o' << 8 | 'b') ||
            last == (uint32_t{'t'} << 24 | 'e' << 16 | 'x' << 8 | 't'))
            text = true;
    }
    return text;
}

RowInserter::Result StepOnce(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return rc == SQLITE_DONE ? RowInserter::Result::Done : RowInserter::Result::Failed;
}
}  // namespace

RowInserter::RowInserter(sqlite3* db, WString table) : db_(db), table_(std::move(table)) {}

RowInserter::~RowInserter() { sqlite3_finalize(bound_); }

RowInserter::Result RowInserter::InsertBound(RowScanner::View row, const std::vector<RowScanner::Value>& values) {
    if (Result flushed = Flush(); flushed != Result::Done) return flushed;
    if (bound_ == nullptr || boundCount_ != values.size()) {
        sqlite3_finalize(bound_);
        bound_ = nullptr;
        WString sql = OLESTR("INSERT INTO ") + table_ + OLESTR(" VALUES (");
        for (size_t i = 0; i < values.size(); ++i) sql += i == 0 ? OLESTR("?") : OLESTR(",?");
        sql += OLESTR(")");
        if (sqlite3_prepare16_v2(db_, sql.c_str(), -1, &bound_, nullptr) != SQLITE_OK ||
            bound_ == nullptr)
            return Result::Unprepared;
        boundCount_ = values.size();
        textColumns_ = TextColumns(values.size());
        numbers_.reserve(kLongestInteger * values.size());
    }
    numbers_.clear();
    int index = 1;
    for (const RowScanner::Value& value : values) {
        int rc = SQLITE_OK;
        switch (value.kind) {
            case RowScanner::Value::Kind::Text:
                if (value.escaped) {
                    RowScanner::Unescape(row, value, scratch_);
                    rc = sqlite3_bind_text16(bound_, index, scratch_.data(),
                                             static_cast<int>(scratch_.size() * sizeof(OLECHAR)), SQLITE_TRANSIENT);
                } else {
                    rc = sqlite3_bind_text16(bound_, index, row.data() + value.begin,
                                             static_cast<int>(value.length * sizeof(OLECHAR)), SQLITE_STATIC);
                }
                break;
            case RowScanner::Value::Kind::Integer:
                if (textColumns_[static_cast<size_t>(index - 1)] != 0) {
                    const size_t at = numbers_.size();
                    AppendDecimal(value.integer, numbers_);
                    rc = sqlite3_bind_text16(bound_, index, numbers_.data() + at,
                                             static_cast<int>((numbers_.size() - at) * sizeof(OLECHAR)), SQLITE_STATIC);
                } else {
                    rc = sqlite3_bind_int64(bound_, index, value.integer);
                }
                break;
            case RowScanner::Value::Kind::Joined:
                RowScanner::Join(row, value, scratch_);
                rc = sqlite3_bind_text16(bound_, index, scratch_.data(),
                                         static_cast<int>(scratch_.size() * sizeof(OLECHAR)), SQLITE_TRANSIENT);
                break;
            case RowScanner::Value::Kind::Null:
            case RowScanner::Value::Kind::Literal:  // never in a Bindable row
                rc = sqlite3_bind_null(bound_, index);
                break;
        }
        // A text over SQLite's length limit: the literal fails the same way.
        if (rc != SQLITE_OK) return Result::Failed;
        ++index;
    }
    return StepOnce(bound_);
}

std::vector<char> RowInserter::TextColumns(size_t count) const {
    std::vector<char> text(count, 0);
    // A virtual table gets the values as they are bound.
    sqlite3_stmt* statement = nullptr;
    bool ordinary = false;
    if (sqlite3_prepare_v2(db_,
                           "SELECT sql NOT LIKE 'CREATE VIRTUAL%' FROM sqlite_schema "
                           "WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_bind_text16(statement, 1, table_.data(), static_cast<int>(table_.size() * sizeof(OLECHAR)),
                            SQLITE_STATIC) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        ordinary = sqlite3_column_int(statement, 0) != 0;
    sqlite3_finalize(statement);
    if (!ordinary) return text;
    // A VALUES list fills the columns that are neither hidden nor generated.
    std::vector<char> columns;
    const WString pragma = OLESTR("PRAGMA table_xinfo(") + table_ + OLESTR(")");
    statement = nullptr;
    if (sqlite3_prepare16_v2(db_, pragma.c_str(), -1, &statement, nullptr) == SQLITE_OK && statement != nullptr)
        while (sqlite3_step(statement) == SQLITE_ROW)
            if (sqlite3_column_int(statement, 6) == 0)
                columns.push_back(HasTextAffinity(sqlite3_column_text(statement, 2)) ? 1 : 0);
    sqlite3_finalize(statement);
    if (columns.size() == count) text = std::move(columns);
    return text;
}

RowInserter::Result RowInserter::AddLiteralRow(RowScanner::View row) {
    if (literalRows_ == 0) {
        literalSql_ = OLESTR("INSERT INTO ") + table_ + OLESTR(" VALUES (");
    } else {
        literalSql_ += OLESTR(",(");
    }
    literalSql_.append(row);
    literalSql_ += OLESTR(')');
    ++literalRows_;
    if (literalSql_.size() >= kLiteralChunkUnits || literalRows_ >= kLiteralChunkRows) return Flush();
    return Result::Done;
}

RowInserter::Result RowInserter::Flush() {
    if (literalRows_ == 0) return Result::Done;
    literalRows_ = 0;
    sqlite3_stmt* statement = nullptr;
    const void* tail = nullptr;
    // SQLite reads the UTF-16 text as the UTF-8 the statement would have:
    // the rows hold no lone surrogates.
    const int rc = sqlite3_prepare16_v2(db_, literalSql_.data(), static_cast<int>(literalSql_.size() * sizeof(OLECHAR)),
                                        &statement, &tail);
    // The rows are plain literals, so the text is exactly one statement.
    if (rc != SQLITE_OK || statement == nullptr || tail != literalSql_.data() + literalSql_.size()) {
        sqlite3_finalize(statement);
        return Result::Unprepared;
    }
    const Result result = StepOnce(statement);
    sqlite3_finalize(statement);
    if (result == Result::Failed) gatheredFailed_ = true;
    return result;
}
