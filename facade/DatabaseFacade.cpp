#include "DatabaseFacade.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "import/BulkImporter.h"
#include "sqlite/DirectConnection.h"
#include "FailureText.h"
#include "ParamList.h"
#include "RegistryValueReader.h"
#include "SchemaCreator.h"
#include "StatementText.h"
#include "com/ComPtr.h"
#include "com/HostPath.h"
#include "com/WideFormat.h"
#include "sqlite/CppSQLite3DB.h"
#include "sqlite/CppSQLite3Exception.h"
#include "sqlite/CppSQLite3Query.h"
#include "results/IResultRows.h"

namespace {
const OLECHAR kEntrySeparator[] = OLESTR("|#|");
const OLECHAR kCommit[] = OLESTR("COMMIT TRANSACTION;");
const DWORD kRebuildPauseMs = 500;

// Sets the recording flag again on every way out of a rebuild.
class RecordingPause {
public:
    explicit RecordingPause(bool& flag) : flag_(flag) { flag_ = false; }
    ~RecordingPause() { flag_ = true; }
    RecordingPause(const RecordingPause&) = delete;
    RecordingPause& operator=(const RecordingPause&) = delete;

private:
    bool& flag_;
};

WString ErrorMessage(sqlite3* db) {
    const void* message = sqlite3_errmsg16(db);
    return message ? WString(static_cast<const OLECHAR*>(message)) : WString();
}

// The C library's text for errno value error.
WString SystemReason(int error) {
    const char* text = std::strerror(error);
    WString reason;
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units > 1) {
        reason.resize(static_cast<size_t>(units));
        MultiByteToWideChar(CP_ACP, 0, text, -1, reason.data(), units);
        reason.resize(static_cast<size_t>(units - 1));
    }
    return reason;
}

// Whether a path names its file from the working folder: neither "\", "/"
// nor a drive letter begins it.
bool IsRelative(const WString& path) {
    if (path.empty()) return true;
    if (path[0] == OLESTR('\\') || path[0] == OLESTR('/')) return false;
    return !(path.size() >= 2 && path[1] == OLESTR(':'));
}

WString WorkingFolder() {
    std::error_code error;
    const std::u16string folder = std::filesystem::current_path(error).u16string();
    return WString(folder.begin(), folder.end());
}

// The line of an import that stored nothing.
WString ImportFailureLine(const BulkImporter::Failure& failure, const WString& filePath, const WString& dbPath) {
    using Kind = BulkImporter::Failure::Kind;
    switch (failure.kind) {
        case Kind::FileNotOpened:
            if (IsRelative(filePath))
                return FailureText::Line(FailureText::Id::ImportRelativeNotOpened,
                                         {filePath, WorkingFolder(), SystemReason(failure.systemError)});
            return FailureText::Line(FailureText::Id::ImportFileNotOpened,
                                     {filePath, SystemReason(failure.systemError)});
        case Kind::Sqlite:
            if (failure.row == 0) return FailureText::Sqlite(failure.code, failure.message.c_str(), failure.statement);
            return FailureText::Line(FailureText::Id::ImportRow,
                                     {CppSQLite3Exception(failure.code, failure.message.c_str()).message(),
                                      static_cast<long long>(failure.row), failure.rowText});
        case Kind::DatabaseMissing:
            return FailureText::Line(FailureText::Id::ImportDatabaseMissing, {dbPath});
        case Kind::None:
            break;
    }
    return FailureText::Line(FailureText::Id::ImportNotStored, {});
}

// The line that says why the arguments of a record call were not run as
// meant, when they were not: countsId for condition lists that differ in
// count, semicolonId for a refused raw condition (new lists that differ are
// UpdateDBRecord's alone).
void LogDefect(LogSink& log, const StatementText::Defect& defect, FailureText::Id countsId,
               FailureText::Id semicolonId) {
    using Kind = StatementText::Defect::Kind;
    switch (defect.kind) {
        case Kind::None:
            return;
        case Kind::RawSemicolon:
            log.WriteLog(FailureText::Line(semicolonId, {defect.refused}));
            return;
        case Kind::NewCounts:
            countsId = FailureText::Id::UpdateNewCounts;
            break;
        case Kind::ConditionCounts:
            break;
    }
    log.WriteLog(FailureText::Line(countsId, {static_cast<long long>(defect.columns),
                                              static_cast<long long>(defect.values)}));
}

// Gives the RecordSet its column names, which also drops the rows it holds.
void SetNames(IRecordSet* recordSet, const WString& names) {
    BSTR text = SysAllocStringLen(names.data(), static_cast<UINT>(names.size()));
    if (text == nullptr) throw std::bad_alloc();
    recordSet->SetColumnName(text);
    SysFreeString(text);
}

// "out of memory", or the code in hex as Windows prints HRESULTs.
WString HresultText(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) return OLESTR("out of memory");
    WString text = OLESTR("HRESULT 0x");
    const auto code = static_cast<uint32_t>(hr);
    for (int shift = 28; shift >= 0; shift -= 4) text.push_back(OLESTR("0123456789ABCDEF")[(code >> shift) & 0xF]);
    return text;
}
}  // namespace

DatabaseFacade::DatabaseFacade(LogSink& log)
    : log_(log),
      dataFolder_(WString(OLESTR("C:\\ProgramData")) + OLESTR("\\Ombrel\\API\\DataBase\\")),
      currentFileName_(OLESTR("API_db.db")),
      pause_([](DWORD ms) { Sleep(ms); }),
      busyTimeoutMs_(CppSQLite3DB::kDefaultBusyTimeoutMs) {}

DatabaseFacade::~DatabaseFacade() { CloseTransactionConnection(); }

void DatabaseFacade::CloseTransactionConnection() {
    inserts_.Clear();
    if (transaction_ != nullptr) sqlite3_close_v2(transaction_);
    transaction_ = nullptr;
}

void DatabaseFacade::OpenForCall(CppSQLite3DB& db, const CurrentFile& file) const {
    if (!db.isOpen()) {
        db.setBusyTimeout(busyTimeoutMs_);
        db.openHostName(file.openName);
    }
    // While the transaction holds a lock on this file, any lock this
    // connection meets is the transaction's own (another connection cannot
    // write meanwhile), and it goes only at the object's own commit: waiting
    // would stall the call for the whole timeout. Fail at once instead.
    if (transaction_ != nullptr && sqlite3_txn_state(transaction_, "main") != SQLITE_TXN_NONE) {
        const char* own = sqlite3_db_filename(transaction_, "main");
        if (own != nullptr && *own != 0 && std::strcmp(own, db.fileName()) == 0) db.setBusyTimeout(0);
    }
}

DatabaseFacade::CurrentFile DatabaseFacade::LocateCurrentFile(CppSQLite3DB* db) const {
    CurrentFile file;
    file.openName = HostPath::ForOpenUtf8(currentPath_);
    if (db != nullptr) {
        // Opening a file that is there needs no test of the file system
        // before it: the open fails for a missing one, and never creates it.
        db->setBusyTimeout(busyTimeoutMs_);
        if (db->openExisting(file.openName)) {
            file.exists = true;
            return file;
        }
    }
    file.exists = HostPath::Exists(currentPath_, file.openName);
    return file;
}

bool DatabaseFacade::LocateOrRebuild(CppSQLite3DB* db, const OLECHAR* missingFormat, const OLECHAR* failureFormat,
                                     CurrentFile& file) {
    file = LocateCurrentFile(db);
    if (file.exists) return true;
    if (!Rebuild(missingFormat, failureFormat)) return false;
    // The replay may have made another file current.
    file = LocateCurrentFile(db);
    return true;
}

void DatabaseFacade::ResolveCurrentPath() {
    if (currentPath_.empty()) currentPath_ = dataFolder_ + currentFileName_;
}

LONG DatabaseFacade::Connect(const WString& hostAddress, const WString& systemName, const WString& versionText,
                             LONG* plRet) {
    systemName_ = systemName;
    LONG outcome = 2;
    if (connectionState_ != 2) {
        connectionState_ = 2;
        outcome = 1;
    }
    if (plRet != nullptr) *plRet = outcome;
    log_.WriteLog(WideFormat::Format(OLESTR("ZeveVevuVAD Connected, Version = %s"), {versionText}));
    if (installFolder_.empty()) {
        if (hostAddress.size() > 5) {
            installFolder_ = hostAddress;
        } else {
            WString value = RegistryValueReader::Read(OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\") +
                                                      systemName_ + OLESTR("\\Ombrel"));
            if (value.empty())
                value = RegistryValueReader::Read(OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\VANTORIS\\") +
                                                  systemName_ + OLESTR("\\Ombrel"));
            size_t last = value.rfind(OLESTR('\\'));
            installFolder_ = last == WString::npos ? WString() : value.substr(0, last + 1);
        }
        if (!installFolder_.empty()) {
            dataFolder_ = WideFormat::Format(OLESTR("%sData\\API\\"), {installFolder_});
            log_.WriteLog(dataFolder_);
        }
    }
    return outcome;
}

LONG DatabaseFacade::CreateDbFile(const WString& fileName, const WString& tableName, const WString& columnName) {
    if (recording_)
        creationList_.push_back(fileName + kEntrySeparator + tableName + kEntrySeparator + columnName);
    if (!fileName.empty()) {
        if (fileName[0] == OLESTR('*')) {
            currentPath_ = fileName.substr(1);
        } else {
            currentFileName_ = fileName + OLESTR(".db");
            currentPath_ = dataFolder_ + currentFileName_;
        }
    }
    if (currentPath_.empty()) {
        log_.WriteLog(FailureText::Line(FailureText::Id::NoFileSelected, {}));
        return 0;
    }
    SchemaCreator::TableOptions options;
    WString table = SchemaCreator::ParseTableArgument(tableName, options);
    return SchemaCreator::CreateDB(log_, currentPath_, table, columnName, options) ? 1 : 0;
}

bool DatabaseFacade::Rebuild(const OLECHAR* missingFormat, const OLECHAR* failureFormat) {
    log_.WriteLog(WideFormat::Format(missingFormat, {currentPath_}));
    if (creationList_.empty()) return false;
    bool replayed = false;
    {
        RecordingPause pause(recording_);
        // The list does not change during the replay: replayed calls are not
        // recorded. Iterate over a copy all the same, the call is external.
        const std::vector<WString> entries = creationList_;
        for (const WString& entry : entries) {
            std::vector<WString> pieces = ParamList::SplitString(entry, kEntrySeparator);
            if (pieces.size() != 3) continue;
            replayed = true;
            LONG value = createCall_ ? createCall_(pieces[0], pieces[1], pieces[2])
                                     : CreateDbFile(pieces[0], pieces[1], pieces[2]);
            if (value != 1) {
                log_.WriteLog(WideFormat::Format(failureFormat, {value, pieces[1]}));
                return false;
            }
        }
    }
    pause_(kRebuildPauseMs);
    return replayed;
}

bool DatabaseFacade::DoExecSqlCommand(const WString& sql) {
    ResolveCurrentPath();
    CppSQLite3DB db;
    CurrentFile file;
    if (!LocateOrRebuild(&db, OLESTR("File not exist:%s"), OLESTR("DoExecSqlCommand Error:%d, %s"), file))
        return false;
    try {
        OpenForCall(db, file);
        // A write that answers 1 is on disk, whatever happens next.
        db.makeCommitsDurable();
        // A statement that did not run (the lock was not granted within the
        // busy timeout) stored nothing: it fails with SQLite's code and text.
        if (const int rc = db.executeStatement(sql.c_str()); rc != SQLITE_OK)
            throw CppSQLite3Exception(rc, db.errorText());
        db.close();
        return true;
    } catch (const CppSQLite3Exception& e) {
        log_.WriteLog(WideFormat::Format(OLESTR("%s\r\n%s"), {e.message(), sql}));
        return false;
    }
}

LONG DatabaseFacade::RunSqlCommand(const WString& sql) {
    if (inTransaction_) return RunInTransaction(sql);
    return DoExecSqlCommand(sql) ? 1 : 0;
}

LONG DatabaseFacade::RunInTransaction(const WString& sql) {
    // Once SQLite has rolled the transaction back (an I/O error, a full
    // disk), a write here would run on its own in autocommit and be stored
    // outside the transaction that the client believes open.
    if (TransactionEnded(SQLITE_OK)) return RefuseAfterEnd(sql);
    const int rc = DirectConnection::Exec(transaction_, sql);
    if (TransactionEnded(rc) || rc != SQLITE_OK) return TransactionWriteFailed(rc, sql);
    return 1;
}

LONG DatabaseFacade::TransactionWriteFailed(int rc, const WString& sql) {
    // A write that failed has SQLite's own text; one that ran but ended the
    // transaction (its text held a statement that did) has the end's.
    if (rc != SQLITE_OK) {
        log_.WriteLog(FailureText::Sqlite(rc, ErrorMessage(transaction_).c_str(), sql));
    } else {
        log_.WriteLog(FailureText::Sqlite(endCode_, endMessage_.c_str(), sql));
    }
    return 0;
}

LONG DatabaseFacade::RefuseAfterEnd(const WString& sql) {
    log_.WriteLog(FailureText::Sqlite(
        endCode_, FailureText::Line(FailureText::Id::WriteAfterRollback, {endMessage_}).c_str(), sql));
    return 0;
}

bool DatabaseFacade::TransactionEnded(int rc) {
    if (transactionEnded_) return true;
    if (sqlite3_get_autocommit(transaction_) == 0) return false;
    transactionEnded_ = true;
    endCode_ = rc == SQLITE_OK ? SQLITE_ABORT : rc;
    endMessage_ = rc == SQLITE_OK ? WString(OLESTR("the transaction was ended by a statement")) : ErrorMessage(transaction_);
    return true;
}

bool DatabaseFacade::ExecSqlBatch(const WString& sql) {
    ResolveCurrentPath();
    return BulkImporter::ExecBatch(currentPath_, sql);
}

LONG DatabaseFacade::InsertDBRecord(WStringView table, WStringView column, WStringView value) {
    if (inTransaction_) {
        if (TransactionEnded(SQLITE_OK)) return RefuseAfterEnd(StatementText::Insert(table, column, value));
        const int rc = inserts_.Run(transaction_, table, column, value);
        if (rc != TransactionInserts::kNotTaken) {
            // The statement text is made for the line only.
            if (TransactionEnded(rc) || rc != SQLITE_OK)
                return TransactionWriteFailed(rc, StatementText::Insert(table, column, value));
            return 1;
        }
    }
    return RunSqlCommand(StatementText::Insert(table, column, value));
}

LONG DatabaseFacade::UpdateDBRecord(const WString& table, const WString& conditionCol, const WString& conditionVal,
                                    const WString& newCol, const WString& newVal) {
    StatementText::Defect defect;
    std::optional<WString> sql = StatementText::Update(table, conditionCol, conditionVal, newCol, newVal, &defect);
    if (sql) return RunSqlCommand(*sql);
    LogDefect(log_, defect, FailureText::Id::UpdateConditionCounts, FailureText::Id::DeleteRawSemicolon);
    return 0;
}

LONG DatabaseFacade::DeleteDBRecord(const WString& table, const WString& conditionCol, const WString& conditionVal) {
    StatementText::Defect defect;
    // A refused raw condition still runs its empty text, as a call that
    // deletes nothing does, and so keeps that call's lines (a missing file's
    // rebuild); it then answers 0 with the line that says why.
    const LONG outcome = RunSqlCommand(StatementText::Delete(table, conditionCol, conditionVal, &defect));
    LogDefect(log_, defect, FailureText::Id::DeleteConditionCounts, FailureText::Id::DeleteRawSemicolon);
    return defect.kind == StatementText::Defect::Kind::RawSemicolon ? 0 : outcome;
}

bool DatabaseFacade::GetDBRecordSet(const WString& table, const WString& conditionCol, const WString& conditionVal,
                                    IRecordSet* recordSet) {
    if (recordSet == nullptr) {
        log_.WriteLog(FailureText::Line(FailureText::Id::QueryNoRecordSet, {}));
        return false;
    }
    StatementText::Defect defect;
    WString sql = StatementText::Select(table, conditionCol, conditionVal, &defect);
    ResolveCurrentPath();
    CppSQLite3DB db;
    const CurrentFile file = LocateCurrentFile(&db);
    if (!file.exists) {
        log_.WriteLog(FailureText::Line(FailureText::Id::QueryFileMissing,
                                        {currentPath_, defect.refused.empty() ? sql : defect.refused}));
        return false;
    }
    try {
        OpenForCall(db, file);
        CppSQLite3Query query = db.executeQuery(sql.c_str());
        const int columns = query.columnCount();
        WString text;
        for (int i = 0; i < columns; ++i) {
            if (i > 0) text.push_back(OLESTR(','));
            const OLECHAR* name = query.columnName(i);
            if (name != nullptr) text.append(name);
        }
        const WString columnNames = text;
        SetNames(recordSet, columnNames);
        // A row the RecordSet cannot take (out of memory) ends the query: the
        // rows before it are dropped, so the client never takes part of a
        // result for the whole of it.
        long row = 0;
        HRESULT stored = S_OK;
        // This module's RecordSet takes the values as they are, without a
        // row text and a BSTR per row; it stores the same text.
        ComPtr<IResultRows> rows;
        if (SUCCEEDED(recordSet->QueryInterface(IID_IResultRows, rows.ReceiveVoid())) && rows) {
            std::vector<const OLECHAR*> values(static_cast<std::size_t>(columns));
            for (; SUCCEEDED(stored) && !query.isAtEnd(); query.moveNext()) {
                query.rowTexts(values.data());
                ++row;
                stored = rows->AppendRow(values.data(), static_cast<UINT>(columns));
            }
        }
        while (SUCCEEDED(stored) && !query.isAtEnd()) {
            text.clear();
            for (int j = 0; j < columns; ++j) {
                if (j > 0) text.append(kEntrySeparator);
                const OLECHAR* value = query.columnText(j);
                if (value != nullptr) text.append(value);
            }
            BSTR item = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (item == nullptr) throw std::bad_alloc();
            ++row;
            stored = recordSet->SetRecordItem(item);
            SysFreeString(item);
            query.moveNext();
        }
        if (FAILED(stored)) {
            SetNames(recordSet, columnNames);  // drops the rows it took
            log_.WriteLog(FailureText::Line(FailureText::Id::QueryRowNotStored,
                                            {row, HresultText(stored), sql}));
            return false;
        }
        query.finalizeStatement();
        db.close();
        return true;
    } catch (const CppSQLite3Exception& e) {
        log_.WriteLog(WideFormat::Format(OLESTR("%s\r\n%s"), {e.message(), sql}));
        LogDefect(log_, defect, FailureText::Id::QueryConditionCounts, FailureText::Id::QueryRawSemicolon);
        return false;
    }
}

HRESULT DatabaseFacade::BeginTransation() {
    if (inTransaction_) return S_OK;  // joined: the open transaction is kept
    ResolveCurrentPath();
    CurrentFile file;
    if (!LocateOrRebuild(nullptr, OLESTR("BeginTransation File not exist:%s"), OLESTR("BeginTransation Error:%d, %s"),
                         file))
        return S_FALSE;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.openName.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    // Changes stay in memory until the commit: the transaction never takes
    // the exclusive lock before it, so the object's own queries (and other
    // readers) keep reading the committed rows meanwhile. Without it they
    // would fail at once (see OpenForCall), so its result is not decisive.
    if (rc == SQLITE_OK) DirectConnection::Exec(db, OLESTR("PRAGMA cache_spill = OFF;"));
    // A commit that answers S_OK is on disk, whatever happens next.
    if (rc == SQLITE_OK) DirectConnection::MakeCommitsDurable(db);
    if (rc == SQLITE_OK) rc = DirectConnection::Exec(db, OLESTR("BEGIN TRANSACTION;"));
    if (rc != SQLITE_OK) {
        log_.WriteLog(WideFormat::Format(OLESTR("BeginTransation Error:%s"), {ErrorMessage(db)}));
        sqlite3_close_v2(db);
        return S_FALSE;
    }
    transaction_ = db;
    inTransaction_ = true;
    transactionEnded_ = false;
    return S_OK;
}

void DatabaseFacade::LeaveRolledBackTransaction(int code, const WString& message) {
    // Writes answered 1 before SQLite rolled the transaction back: say that
    // none of them was stored, so that a client does not take the failure
    // for one to retry, and leave the transaction so that the next
    // BeginTransation starts clean.
    const WString detail = message + OLESTR("; the transaction was rolled back and none of its writes were stored");
    log_.WriteLog(WideFormat::Format(OLESTR("%s\r\n%s"),
                                     {CppSQLite3Exception(code, detail.c_str()).message(), kCommit}));
    CloseTransactionConnection();
    inTransaction_ = false;
}

HRESULT DatabaseFacade::CommitTransation() {
    if (!inTransaction_) return S_OK;
    if (TransactionEnded(SQLITE_OK)) {
        LeaveRolledBackTransaction(endCode_, endMessage_);
        return S_FALSE;
    }
    if (const int rc = DirectConnection::Exec(transaction_, kCommit); rc != SQLITE_OK) {
        const WString message = ErrorMessage(transaction_);
        log_.WriteLog(WideFormat::Format(OLESTR("CommitTransation Error:%s"), {message}));
        // While SQLite still holds the transaction (a busy file), it is kept
        // so that the client can retry. When the failed commit made SQLite
        // roll it back (a full disk, an I/O error), no retry can succeed.
        if (sqlite3_get_autocommit(transaction_) != 0) LeaveRolledBackTransaction(rc, message);
        return S_FALSE;
    }
    CloseTransactionConnection();
    inTransaction_ = false;
    return S_OK;
}

HRESULT DatabaseFacade::DropTable(const WString& fileName, const WString& tableName, LONG* plRet) {
    if (!fileName.empty()) {
        // The named file becomes current: a call never acts on another file.
        currentFileName_ = fileName + OLESTR(".db");
        currentPath_ = dataFolder_ + currentFileName_;
    }
    ResolveCurrentPath();
    if (tableName.empty()) {
        // A file that is not there is gone already; one that stays is not.
        if (!DeleteFileW(currentPath_.c_str())) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                log_.WriteLog(FailureText::Line(FailureText::Id::DropNotDeleted,
                                                {currentPath_, static_cast<long long>(error)}));
                return S_FALSE;
            }
        }
        return S_OK;
    }
    if (!DoExecSqlCommand(WideFormat::Format(OLESTR("Drop Table %s;"), {tableName}))) return S_FALSE;
    if (plRet != nullptr) *plRet = 1;
    return S_OK;
}

LONG DatabaseFacade::ImportDbFile(const WString& filePath, const WString& tableName, const WString& columnName,
                                  const WString& rowSplit, const WString& columnSplit) {
    currentPath_ = dataFolder_ + currentFileName_;
    SchemaCreator::TableOptions plain;
    plain.primaryKey = false;
    plain.caseSensitive = true;
    if (!SchemaCreator::CreateDB(log_, currentPath_, tableName, columnName, plain)) return 0;
    BulkImporter::Failure failure;
    if (BulkImporter::Import(currentPath_, filePath, tableName, rowSplit, columnSplit, &failure) ==
        BulkImporter::Outcome::Stored)
        return 1;
    log_.WriteLog(ImportFailureLine(failure, filePath, currentPath_));
    return 0;
}
