// A connection that the facade opens straight through SQLite's C interface
// (schema creation, the import's batch), without the access layer's busy
// timeout. Owns the handle, one prepared statement and one error text, and
// releases all three on every way out: statement finalized, text freed,
// connection closed (which rolls back a transaction still open).
// Thread-safety: one object per call, never shared.
#pragma once

#include <sqlite3.h>

#include "com/Platform.h"

class DirectConnection {
public:
    DirectConnection() = default;
    ~DirectConnection();
    DirectConnection(const DirectConnection&) = delete;
    DirectConnection& operator=(const DirectConnection&) = delete;

    // Runs sql with sqlite3_exec after converting it to UTF-8 (an empty text
    // runs nothing). The error text, when asked for, stays owned here.
    int Exec(const WString& sql, bool keepErrorText = false);

    // The same on any handle, for connections owned elsewhere.
    static int Exec(sqlite3* db, const WString& sql);

    // Makes every later commit on db durable: on disk once it answers,
    // whatever happens next. SQLite then syncs the journal before it changes
    // the file, the file before it deletes the journal, and the folder after
    // the deletion (the deletion is the commit; without that sync a power
    // cut can bring the journal back, and the next open plays it back over
    // the committed rows). The setting cannot fail on an open connection.
    static void MakeCommitsDurable(sqlite3* db);

    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    char* errorText = nullptr;
};
