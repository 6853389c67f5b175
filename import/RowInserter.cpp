#include "RowInserter.h"

#include <sqlite3.h>

namespace {
// Gathered literal rows go to SQLite in statements of about this size: large
// enough that compiling is cheap per row, small enough to stay in cache.
constexpr size_t kLiteralChunkUnits = 32 * 1024;
constexpr size_t kLiteralChunkRows = 256;

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
    }
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
                rc = sqlite3_bind_int64(bound_, index, value.integer);
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
    return result;
}
