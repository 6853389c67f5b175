// One connection to one SQLite database file, used for one call and never
// shared. Text crosses in UTF-16 only; the open goes through the host path
// mapping, so a Windows path names the same file on every target.
// Ownership: the object owns its connection handle and closes it at
// destruction. Cursors made by executeQuery borrow the handle: finalize or
// destroy them before this object is closed or destroyed.
// Thread-safety: none; one object belongs to one thread at a time.
// Failures: every failure raises CppSQLite3Exception (SQLite's code and its
// message for the connection, or CPPSQLITE_ERROR for the layer's own checks);
// executeStatement alone reports some outcomes through its result.
#pragma once

#include <string>

#include "com/Platform.h"
#include "CppSQLite3Exception.h"
#include "CppSQLite3Query.h"

struct sqlite3;
struct sqlite3_stmt;

class CppSQLite3DB {
public:
    // How long a statement waits for a lock held by another connection.
    static constexpr int kDefaultBusyTimeoutMs = 60000;

    // Opens nothing.
    CppSQLite3DB();
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    // Closes an open connection; a failing close is dropped.
    virtual ~CppSQLite3DB();

    // Opens (creating when missing) the database file and sets the busy
    // timeout. Meant to be called once per object. A failed open raises and
    // still keeps the handle, which close or destruction releases.
    void open(const OLECHAR* fileName);

    // Opens a database file that is there, by a name that is already the
    // host's (HostPath::ForOpenUtf8), through SQLite's UTF-8 entry point
    // without creating it and without a connection mutex (the connection is
    // this object's alone), and sets the busy timeout. The open is the test
    // that the file is there: false, with nothing open, when SQLite cannot
    // open it (it is missing, a folder, or unreadable); the caller then asks
    // the file system and opens with openHostName. An empty file is opened
    // too: the UTF-8 open would make a database in it UTF-8, so it suits only
    // callers whose statements never make one. Meant, as open, to be called
    // once per object. Raises nothing.
    bool openExisting(const std::string& hostName) noexcept;

    // As open, for a name that is already the host's: for what openExisting
    // could not take (a folder, a file it may not open, or one still missing
    // after a rebuild, which this open creates), so that a database made by
    // the open is UTF-16 and a failure is open's.
    void openHostName(const std::string& hostName);

    // Whether a connection is open.
    bool isOpen() const noexcept { return db_ != nullptr; }

    // Closes the connection; nothing to do when none is open. A failing close
    // raises and keeps the handle.
    void close();

    // Makes the commits of the open connection durable: on disk once they
    // answer (DirectConnection::MakeCommitsDurable). Nothing to do when no
    // connection is open.
    void makeCommitsDurable() noexcept;

    // The busy timeout of the next open, and of the open connection at once.
    // Tests shorten it; the facade sets 0 where a wait could never end.
    void setBusyTimeout(int milliseconds);

    // SQLite's full name of the open database file in UTF-8 (empty for none),
    // for telling whether two connections work on the same file.
    const char* fileName() const;

    // SQLite's message for the connection's latest failure.
    const OLECHAR* errorText() const;

    // Raises CPPSQLITE_ERROR "Database not open" when no connection is open.
    void ensureOpen() const;

    // Compiles the first statement of sql (the rest of the text is ignored).
    // The caller owns the returned statement and must finalize it.
    sqlite3_stmt* prepareStatement(const OLECHAR* sql);

    // Runs the first statement of sql by one step and returns the code of its
    // finalization (SQLITE_OK for a statement that ran). A step failing with
    // SQLITE_ERROR raises; any other step outcome, SQLITE_BUSY included, is
    // only reflected in the result. Recompiles while finalization answers
    // SQLITE_SCHEMA.
    int executeStatement(const OLECHAR* sql);

    // Runs the first statement of sql up to its first row and returns a
    // cursor on it (at end at once when there is no row). Raises, with the
    // statement already finalized, when the first step fails.
    CppSQLite3Query executeQuery(const OLECHAR* sql);

private:
    // sqlite3_open16 of a host name in well-formed UTF-16, then the busy timeout.
    void openUtf16(const OLECHAR* hostName);
    sqlite3* db_;
    int busyTimeoutMs_;
};
