#include "DirectConnection.h"

#include "Utf8Text.h"

DirectConnection::~DirectConnection() {
    if (statement != nullptr) sqlite3_finalize(statement);
    if (errorText != nullptr) sqlite3_free(errorText);
    if (db != nullptr) sqlite3_close(db);
}

int DirectConnection::Exec(const WString& sql, bool keepErrorText) {
    Utf8Text text(sql);
    if (!keepErrorText) return sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
    if (errorText != nullptr) sqlite3_free(errorText);
    errorText = nullptr;
    return sqlite3_exec(db, text.c_str(), nullptr, nullptr, &errorText);
}

int DirectConnection::Exec(sqlite3* db, const WString& sql) {
    Utf8Text text(sql);
    return sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
}

void DirectConnection::MakeCommitsDurable(sqlite3* db) {
    sqlite3_exec(db, "PRAGMA synchronous = EXTRA;", nullptr, nullptr, nullptr);
}
