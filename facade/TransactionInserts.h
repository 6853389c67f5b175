// The inserts of an open transaction, run as prepared statements with their
// values bound: inside a transaction a client writes many rows of the same
// shape, and compiling each statement text anew costs SQLite more than
// storing the row. The statement "REPLACE INTO T (cols) VALUES (?,...,?);"
// is compiled once per table, column list and number of values, and each
// value is bound as the text that StatementText::Insert would have quoted:
// SQLite stores exactly what it stores for the quoted text, and the value
// never becomes part of any SQL text.
// Only plain inserts take this way: a table name made of identifier
// characters, a column list of identifier characters, commas and spaces,
// values split at a separator without a quote, and texts short enough for
// SQLite's limits; every other insert (and any statement SQLite refuses to
// compile) is left to the caller, which runs the statement text.
// Ownership: owns its prepared statements; Clear finalizes them, and must run
// before their connection closes. Thread-safety: none; the owner serialises
// its calls. Failures: Run throws only std::bad_alloc.
#pragma once

#include <string>
#include <vector>

#include "com/Platform.h"

struct sqlite3;
struct sqlite3_stmt;

class TransactionInserts {
public:
    // Run's answer when the insert must run as its statement text instead.
    static constexpr int kNotTaken = -1;

    TransactionInserts() = default;
    ~TransactionInserts() { Clear(); }
    TransactionInserts(const TransactionInserts&) = delete;
    TransactionInserts& operator=(const TransactionInserts&) = delete;

    // Stores the row on db and answers what sqlite3_exec of the statement
    // text would answer (SQLITE_OK when stored), with the same error state on
    // db; or kNotTaken, having run nothing.
    int Run(sqlite3* db, WStringView table, WStringView columns, WStringView values);

    // Finalizes every statement.
    void Clear() noexcept;

private:
    struct Entry {
        WString table;
        WString columns;
        std::size_t count;
        sqlite3_stmt* statement;
    };
    // Statements kept per connection; the oldest goes when a new one comes.
    static constexpr std::size_t kKept = 4;
    // Longest value list taken, in units: SQLite measures a statement text
    // against its own length limit, a bound value against another.
    static constexpr std::size_t kMaxValueUnits = std::size_t{1} << 16;

    static bool PlainName(WStringView name, bool list) noexcept;
    // The statement for this shape, compiled when new; null when SQLite
    // refuses it.
    sqlite3_stmt* Statement(sqlite3* db, WStringView table, WStringView columns, std::size_t count);

    sqlite3* db_ = nullptr;
    std::vector<Entry> entries_;
    // Reused from call to call: the values cut from the list, and their
    // UTF-8 bytes end to end with the end of each.
    std::vector<WStringView> pieces_;
    std::string bytes_;
    std::vector<std::size_t> ends_;
};
