#include "CppSQLite3DB.h"

#include <memory>
#include <string>

#include <sqlite3.h>

#include "DirectConnection.h"
#include "Utf16Text.h"
#include "Utf8Text.h"
#include "com/HostPath.h"

namespace {
// Finalizes a statement on every path that leaves before handing it on.
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using StatementGuard = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;
}  // namespace

CppSQLite3DB::CppSQLite3DB() : db_(nullptr), busyTimeoutMs_(kDefaultBusyTimeoutMs) {}

CppSQLite3DB::~CppSQLite3DB() {
    try {
        close();
    } catch (...) {
        // Never produced in the system's use: every statement of this layer
        // is finalized before its connection goes away.
    }
}

const OLECHAR* CppSQLite3DB::errorText() const {
    return static_cast<const OLECHAR*>(sqlite3_errmsg16(db_));
}

void CppSQLite3DB::open(const OLECHAR* fileName) {
    const WString hostName = HostPath::ForOpen(fileName ? WString(fileName) : WString());
    openUtf16(Utf16Text(hostName.c_str()).c_str());
}

void CppSQLite3DB::openUtf16(const OLECHAR* hostName) {
    const int rc = sqlite3_open16(hostName, &db_);
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, errorText());
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
}

bool CppSQLite3DB::openExisting(const std::string& hostName) noexcept {
    if (sqlite3_open_v2(hostName.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db_, busyTimeoutMs_);
        return true;
    }
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
}

void CppSQLite3DB::openHostName(const std::string& hostName) {
    openUtf16(HostPath::Widen(hostName).c_str());
}

void CppSQLite3DB::close() {
    if (db_ == nullptr) return;
    const int rc = sqlite3_close(db_);
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, errorText());
    db_ = nullptr;
}

void CppSQLite3DB::makeCommitsDurable() noexcept {
    if (db_ != nullptr) DirectConnection::MakeCommitsDurable(db_);
}

void CppSQLite3DB::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    if (db_ != nullptr) sqlite3_busy_timeout(db_, busyTimeoutMs_);
}

const char* CppSQLite3DB::fileName() const {
    const char* name = db_ != nullptr ? sqlite3_db_filename(db_, "main") : nullptr;
    return name != nullptr ? name : "";
}

void CppSQLite3DB::ensureOpen() const {
    if (db_ == nullptr) throw CppSQLite3Exception(CPPSQLITE_ERROR, OLESTR("Database not open"));
}

sqlite3_stmt* CppSQLite3DB::prepareStatement(const OLECHAR* sql) {
    ensureOpen();
    sqlite3_stmt* statement = nullptr;
    // Compiled from UTF-8, which SQLite's UTF-16 entry point would convert
    // the text to first: converted here, a lone surrogate becomes U+FFFD
    // (SQLite's own reader would let it swallow the quote after it).
    std::string text;
    if (sql != nullptr) Utf8Text::Append(text, sql, std::char_traits<OLECHAR>::length(sql));
    const int rc = sqlite3_prepare(db_, sql != nullptr ? text.c_str() : nullptr, -1, &statement, nullptr);
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, errorText());
    return statement;
}

int CppSQLite3DB::executeStatement(const OLECHAR* sql) {
    ensureOpen();
    for (;;) {
        StatementGuard statement(prepareStatement(sql));
        if (sqlite3_step(statement.get()) == SQLITE_ERROR) {
            // The text is read before finalization replaces it.
            CppSQLite3Exception failure(SQLITE_ERROR, errorText());
            statement.reset();
            throw failure;
        }
        const int rc = sqlite3_finalize(statement.release());
        if (rc != SQLITE_SCHEMA) return rc;
    }
}

CppSQLite3Query CppSQLite3DB::executeQuery(const OLECHAR* sql) {
    ensureOpen();
    for (;;) {
        StatementGuard statement(prepareStatement(sql));
        const int step = sqlite3_step(statement.get());
        if (step == SQLITE_DONE || step == SQLITE_ROW)
            return CppSQLite3Query(db_, statement.release(), step == SQLITE_DONE, true);
        // The finalization gives the specific code and its text.
        const int rc = sqlite3_finalize(statement.release());
        if (rc != SQLITE_SCHEMA) throw CppSQLite3Exception(rc, errorText());
    }
}
