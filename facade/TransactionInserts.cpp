#include "TransactionInserts.h"

#include <sqlite3.h>

#include "StatementText.h"
#include "sqlite/Utf8Text.h"

bool TransactionInserts::PlainName(WStringView name, bool list) noexcept {
    // Such a text cannot end the column list early, open a literal, a comment
    // or a parameter, or start another statement: the statement compiles as
    // the quoted text does, with each literal in the place of its parameter.
    if (name.empty()) return false;
    for (const OLECHAR unit : name) {
        const bool identifier = unit >= 0x80 || (unit >= OLESTR('a') && unit <= OLESTR('z')) ||
                                (unit >= OLESTR('A') && unit <= OLESTR('Z')) ||
                                (unit >= OLESTR('0') && unit <= OLESTR('9')) || unit == OLESTR('_');
        if (!identifier && !(list && (unit == OLESTR(',') || unit == OLESTR(' ')))) return false;
    }
    return true;
}

sqlite3_stmt* TransactionInserts::Statement(sqlite3* db, WStringView table, WStringView columns,
                                            std::size_t count) {
    if (db != db_) {
        Clear();
        db_ = db;
    }
    for (const Entry& entry : entries_) {
        if (entry.count == count && WStringView(entry.table) == table && WStringView(entry.columns) == columns)
            return entry.statement;
    }
    WString sql;
    sql.reserve(table.size() + columns.size() + 2 * count + 32);
    StatementText::AppendInsertHead(sql, table, columns);
    for (std::size_t i = 0; i < count; ++i) sql.append(i == 0 ? OLESTR("?") : OLESTR(",?"));
    sql.append(OLESTR(");"));
    const Utf8Text text(sql);
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()) + 1, &statement, &tail) != SQLITE_OK)
        return nullptr;
    // One statement, one parameter a value: otherwise the text runs instead.
    if (statement == nullptr || (tail != nullptr && *tail != 0) ||
        static_cast<std::size_t>(sqlite3_bind_parameter_count(statement)) != count) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    if (entries_.size() == kKept) {
        sqlite3_finalize(entries_.front().statement);
        entries_.erase(entries_.begin());
    }
    try {
        entries_.push_back(Entry{WString(table), WString(columns), count, statement});
    } catch (...) {
        sqlite3_finalize(statement);
        throw;
    }
    return statement;
}

int TransactionInserts::Run(sqlite3* db, WStringView table, WStringView columns, WStringView values) {
    if (values.size() > kMaxValueUnits || !PlainName(table, false) || !PlainName(columns, true)) return kNotTaken;
    if (!StatementText::InsertValues(values, pieces_) || pieces_.empty()) return kNotTaken;
    // Each value in UTF-8 as it would stand in the statement text: between
    // its quotes, converted alone, a lone surrogate at either end of it is
    // as lone as there.
    bytes_.clear();
    ends_.clear();
    for (const WStringView piece : pieces_) {
        Utf8Text::Append(bytes_, piece.data(), piece.size());
        ends_.push_back(bytes_.size());
    }
    sqlite3_stmt* statement = Statement(db, table, columns, pieces_.size());
    if (statement == nullptr) return kNotTaken;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < ends_.size(); ++i) {
        // An empty value is bound from a valid pointer: an empty text, not NULL.
        const char* data = bytes_.data() + begin;
        const int rc = sqlite3_bind_text(statement, static_cast<int>(i) + 1, data,
                                         static_cast<int>(ends_[i] - begin), SQLITE_STATIC);
        if (rc != SQLITE_OK) return kNotTaken;
        begin = ends_[i];
    }
    // As sqlite3_exec: the statement is reset whatever its step gave, and
    // its failure is what the reset reports. The bindings stay behind,
    // unread: the next call binds every value again.
    const int step = sqlite3_step(statement);
    const int reset = sqlite3_reset(statement);
    if (step == SQLITE_DONE || step == SQLITE_ROW) return reset;
    return reset != SQLITE_OK ? reset : step;
}

void TransactionInserts::Clear() noexcept {
    for (const Entry& entry : entries_) sqlite3_finalize(entry.statement);
    entries_.clear();
    db_ = nullptr;
}
