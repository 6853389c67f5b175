// Stores plain-literal rows (see RowScanner) in one table on an open
// connection, in the order given, with the effect that the same rows have
// inside one multi-row "INSERT INTO T VALUES (...),(...)" statement: rows of
// strings, integers and NULL through a prepared single-row INSERT with bound
// values (text bound as UTF-16, which a database made by CreateDB stores as
// it is); rows with literals that only SQLite evaluates exactly (reals, hex,
// blobs) as text, gathered into short multi-row INSERT statements. An integer
// for a column of TEXT affinity in an ordinary table is bound as the decimal
// text that SQLite would store for it, which spares SQLite converting it.
// The caller owns the connection and its transaction.
// Ownership: owns its prepared statements; finalizes them when destroyed,
// which must happen before the connection is closed.
// Thread-safety: an instance is not shared. Throws only std::bad_alloc.
#pragma once

#include <vector>

#include "RowScanner.h"

struct sqlite3;
struct sqlite3_stmt;

class RowInserter {
public:
    enum class Result {
        Done,       // the rows so far are stored
        Failed,     // a row was refused when stored (a constraint, a lock)
        Unprepared  // SQLite would not compile the insert for this table
    };

    // table: a plain identifier.
    RowInserter(sqlite3* db, WString table);
    ~RowInserter();
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    // Stores a Bindable row (values as RowScanner found them in row), after
    // any literal rows still gathered.
    Result InsertBound(RowScanner::View row, const std::vector<RowScanner::Value>& values);

    // Gathers a Literal row; stored at the latest by Flush.
    Result AddLiteralRow(RowScanner::View row);

    // Stores the gathered literal rows.
    Result Flush();

    // Literal rows gathered and not yet stored.
    size_t GatheredRows() const { return literalRows_; }
    // Whether a Failed came from storing gathered literal rows (else from
    // the row that InsertBound was given); rows stop at the first Failed.
    bool GatheredFailed() const { return gatheredFailed_; }

private:
    // For each of `count` values, whether its column has TEXT affinity; all
    // false unless the table is an ordinary one with `count` columns that a
    // VALUES list fills.
    std::vector<char> TextColumns(size_t count) const;

    sqlite3* db_;
    WString table_;
    sqlite3_stmt* bound_ = nullptr;
    size_t boundCount_ = 0;
    std::vector<char> textColumns_;
    WString numbers_;  // the row's integers bound as text; never reallocated while bound
    WString literalSql_;  // "INSERT INTO T VALUES (row),(row)" while rows are gathered
    size_t literalRows_ = 0;
    bool gatheredFailed_ = false;
    WString scratch_;
};
