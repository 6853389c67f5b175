#include "CppSQLite3Query.h"

#include <utility>

#include <sqlite3.h>

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool atEnd, bool ownsStatement) noexcept
    : db_(db),
      statement_(statement),
      atEnd_(atEnd),
      columnCount_(sqlite3_column_count(statement)),
      ownsStatement_(ownsStatement) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : db_(other.db_),
      statement_(std::exchange(other.statement_, nullptr)),
      atEnd_(other.atEnd_),
      columnCount_(other.columnCount_),
      ownsStatement_(other.ownsStatement_) {}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        try {
            finalizeStatement();
        } catch (...) {
            // The statement is released all the same; its failure concerns a
            // cursor that is being replaced.
        }
        db_ = other.db_;
        statement_ = std::exchange(other.statement_, nullptr);
        atEnd_ = other.atEnd_;
        columnCount_ = other.columnCount_;
        ownsStatement_ = other.ownsStatement_;
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    try {
        finalizeStatement();
    } catch (...) {
        // A destructor must not raise; the statement is released regardless.
    }
}

const OLECHAR* CppSQLite3Query::errorText() const {
    return static_cast<const OLECHAR*>(sqlite3_errmsg16(db_));
}

void CppSQLite3Query::ensureStatement() const {
    if (statement_ == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, OLESTR("Null Virtual Machine pointer"));
}

void CppSQLite3Query::checkIndex(int index) const {
    if (index < 0 || index > columnCount_ - 1)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, OLESTR("Invalid field index requested"));
}

int CppSQLite3Query::columnCount() const {
    ensureStatement();
    return columnCount_;
}

bool CppSQLite3Query::isAtEnd() const {
    ensureStatement();
    return atEnd_;
}

const OLECHAR* CppSQLite3Query::columnName(int index) const {
    ensureStatement();
    checkIndex(index);
    return static_cast<const OLECHAR*>(sqlite3_column_name16(statement_, index));
}

const OLECHAR* CppSQLite3Query::columnText(int index) const {
    ensureStatement();
    checkIndex(index);
    return static_cast<const OLECHAR*>(sqlite3_column_text16(statement_, index));
}

void CppSQLite3Query::rowTexts(const OLECHAR** texts) const {
    ensureStatement();
    for (int i = 0; i < columnCount_; ++i) texts[i] = static_cast<const OLECHAR*>(sqlite3_column_text16(statement_, i));
}

void CppSQLite3Query::moveNext() {
    ensureStatement();
    const int step = sqlite3_step(statement_);
    if (step == SQLITE_DONE) {
        atEnd_ = true;
    } else if (step != SQLITE_ROW) {
        const int rc = sqlite3_finalize(std::exchange(statement_, nullptr));
        throw CppSQLite3Exception(rc, errorText());
    }
}

void CppSQLite3Query::finalizeStatement() {
    if (statement_ == nullptr || !ownsStatement_) return;
    const int rc = sqlite3_finalize(std::exchange(statement_, nullptr));
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, errorText());
}
