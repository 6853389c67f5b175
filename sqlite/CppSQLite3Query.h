// A forward-only cursor over one prepared statement, made by
// CppSQLite3DB::executeQuery with the first row (if any) already current.
// Ownership: the cursor owns its statement and finalizes it at the latest at
// destruction; it borrows the connection handle (only to read error texts),
// so it must be finalized or destroyed before that connection is closed.
// Movable, not copyable: a moved-from cursor holds nothing and finalizes
// nothing.
// Thread-safety: none; one cursor belongs to one thread at a time.
// Failures: raise CppSQLite3Exception; every operation but finalizeStatement
// and destruction raises CPPSQLITE_ERROR "Null Virtual Machine pointer" once
// the statement is finalized. The destructor never raises.
#pragma once

#include "com/Platform.h"
#include "CppSQLite3Exception.h"

struct sqlite3;
struct sqlite3_stmt;

class CppSQLite3Query {
public:
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    // Finalizes the statement held so far (a failure is dropped) and takes
    // over the other cursor's.
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    // Finalizes what is left; any failure is dropped.
    virtual ~CppSQLite3Query();

    // Raises "Null Virtual Machine pointer" when the statement is finalized.
    void ensureStatement() const;

    // Number of result columns, also for a result without rows.
    int columnCount() const;
    // True when no row is current.
    bool isAtEnd() const;

    // Name of a column, owned by SQLite and valid until the cursor moves or
    // is finalized. An index outside 0 .. columnCount()-1 raises
    // CPPSQLITE_ERROR "Invalid field index requested".
    const OLECHAR* columnName(int index) const;
    // Text of a column of the current row, owned by SQLite as columnName's;
    // null for an SQL NULL value. Index checked as for columnName.
    const OLECHAR* columnText(int index) const;
    // The texts of every column of the current row, as columnText gives
    // them, into texts[0] to texts[columnCount() - 1]: one check for the
    // whole row.
    void rowTexts(const OLECHAR** texts) const;

    // Makes the next row current, or sets at-end after the last. A failing
    // step finalizes the statement, then raises the finalization's code.
    void moveNext();

    // Finalizes the statement; a second call does nothing. A non-zero
    // finalization code raises (the statement is released all the same).
    void finalizeStatement();

private:
    friend class CppSQLite3DB;
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool atEnd, bool ownsStatement) noexcept;

    void checkIndex(int index) const;
    const OLECHAR* errorText() const;

    sqlite3* db_;
    sqlite3_stmt* statement_;
    bool atEnd_;
    int columnCount_;
    bool ownsStatement_;
};
