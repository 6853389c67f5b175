// The state and the operations behind the ZeveVevuVAD object: the data folder,
// the one current database file, the creation list, the transaction, and every
// data operation on wide working texts. The COM object CZeveVevuVAD owns one
// and turns its BSTR arguments and outcomes into automation calls.
// Ownership: owns the transaction connection; closes it without commit when
// destroyed (SQLite then rolls the open transaction back).
// Data safety: a write reports 1 only when SQLite stored it (a write that the
// busy timeout ends answers 0 with its SQLITE_BUSY line); once SQLite has
// ended a transaction by itself, its later writes answer 0 and run nothing,
// and the commit reports the loss; while the object's own transaction holds
// a lock on the current file, the object's other connections to it do not
// wait for that lock (the wait could only end with the object's own commit).
// Thread-safety: none; calls on one object must not overlap (its fields are
// not guarded). The COM object that owns it serialises its calls.
// Failures: operations answer outcomes and log through the LogSink; only
// std::bad_alloc leaves them.
#pragma once

#include <functional>
#include <vector>

#include <OBZeveVevuVAD.h>

#include "LogSink.h"
#include "TransactionInserts.h"
#include "com/Platform.h"

struct sqlite3;
class CppSQLite3DB;

class DatabaseFacade {
public:
    // The replay path of a rebuild: a CreateDbFile call with its three
    // arguments, answering the value it stores in plRet.
    using CreateCall = std::function<LONG(const WString&, const WString&, const WString&)>;

    explicit DatabaseFacade(LogSink& log);
    ~DatabaseFacade();
    DatabaseFacade(const DatabaseFacade&) = delete;
    DatabaseFacade& operator=(const DatabaseFacade&) = delete;

    // Connect: stores the system name, answers 1 (newly connected) or 2
    // (already), logs the version line and, once, finds the install folder.
    // The outcome is also stored in *plRet (when given) before any line is
    // logged, so a sink may read it from inside the event.
    LONG Connect(const WString& hostAddress, const WString& systemName, const WString& versionText,
                 LONG* plRet = nullptr);
    void Disconnect() { connectionState_ = 0; }

    // Schema creation: records the call (while recording), selects the file,
    // creates folders, file, table and indexes. 1 on success, 0 otherwise.
    LONG CreateDbFile(const WString& fileName, const WString& tableName, const WString& columnName);

    // Execution core: runs the first statement of sql on the current file,
    // rebuilding a missing one first. A file that is there is opened through
    // SQLite's UTF-8 entry point, so sql must not make a database in an
    // empty file (it would be UTF-8); the object's own statements never do,
    // as each needs a table that exists.
    bool DoExecSqlCommand(const WString& sql);
    LONG RunSqlCommand(const WString& sql);
    bool ExecSqlBatch(const WString& sql);
    bool Rebuild(const OLECHAR* missingFormat, const OLECHAR* failureFormat);

    // Record writing: 1 when the statement ran, 0 otherwise.
    // Inside a transaction a plain insert runs as a prepared statement with
    // its values bound (see TransactionInserts), with the same outcome.
    LONG InsertDBRecord(WStringView table, WStringView column, WStringView value);
    LONG UpdateDBRecord(const WString& table, const WString& conditionCol, const WString& conditionVal,
                        const WString& newCol, const WString& newVal);
    LONG DeleteDBRecord(const WString& table, const WString& conditionCol, const WString& conditionVal);

    // Record query into a RecordSet; true when every row was delivered.
    // False when the query failed: before its first row the RecordSet is not
    // touched, later it keeps the column names and the rows delivered so far;
    // and false when the RecordSet refused a row, which leaves it with the
    // column names and no rows.
    bool GetDBRecordSet(const WString& table, const WString& conditionCol, const WString& conditionVal,
                        IRecordSet* recordSet);

    // Transactions and table removal (HRESULTs as the methods return them).
    HRESULT BeginTransation();
    HRESULT CommitTransation();
    HRESULT DropTable(const WString& fileName, const WString& tableName, LONG* plRet);

    // Bulk import of a delimited text file: 1 when every row was stored.
    LONG ImportDbFile(const WString& filePath, const WString& tableName, const WString& columnName,
                      const WString& rowSplit, const WString& columnSplit);

    // Current database path: data folder + current file name when empty.
    void ResolveCurrentPath();

    // Seams: how a rebuild replays CreateDbFile (the COM object routes it
    // through its own interface) and how it pauses (tests observe the pause).
    void SetCreateCall(CreateCall call) { createCall_ = std::move(call); }
    void SetPause(std::function<void(DWORD)> pause) { pause_ = std::move(pause); }
    // How long the per-call connections wait for another connection's lock
    // (tests shorten it).
    void SetBusyTimeout(int milliseconds) { busyTimeoutMs_ = milliseconds; }

    // Read access for the owner and for tests.
    LONG ConnectionState() const { return connectionState_; }
    const WString& DataFolder() const { return dataFolder_; }
    const WString& CurrentFileName() const { return currentFileName_; }
    const WString& CurrentPath() const { return currentPath_; }
    const WString& InstallFolder() const { return installFolder_; }
    const std::vector<WString>& CreationList() const { return creationList_; }
    bool InTransaction() const { return inTransaction_; }
    bool Recording() const { return recording_; }

private:
    // The current database file's name for the open (HostPath::ForOpenUtf8),
    // mapped once for the call, and what the call found of the file.
    struct CurrentFile {
        std::string openName;
        bool exists = false;
    };
    // Finds whether the current database file is there. Given db, a file
    // that is there is opened on it at once, the open being the test (the
    // call's statements never make a database, so an empty file may be
    // opened so too); the file system is asked only when that open fails.
    CurrentFile LocateCurrentFile(CppSQLite3DB* db) const;
    // LocateCurrentFile, and when the file is missing, its rebuild from the
    // creation list (missingFormat and failureFormat are Rebuild's) and the
    // search again. False, with file missing, when no rebuild took place.
    bool LocateOrRebuild(CppSQLite3DB* db, const OLECHAR* missingFormat, const OLECHAR* failureFormat,
                         CurrentFile& file);
    void CloseTransactionConnection();
    // Opens db on the current database file, as located for the call, unless
    // the search opened it already, with the busy timeout, or none while the
    // object's own transaction locks that file.
    void OpenForCall(CppSQLite3DB& db, const CurrentFile& file) const;
    // A write on the transaction connection; 0 once SQLite left the transaction.
    LONG RunInTransaction(const WString& sql);
    // A write of the transaction that failed (rc), or that ran but ended the
    // transaction: its line with the statement, and 0.
    LONG TransactionWriteFailed(int rc, const WString& sql);
    // A write refused because SQLite has already ended the transaction: its
    // line with the statement, and 0.
    LONG RefuseAfterEnd(const WString& sql);
    // Whether SQLite has ended the open transaction by itself; the first time
    // it is seen, keeps rc (the result of the statement that ended it) and
    // SQLite's message for the commit's report.
    bool TransactionEnded(int rc);
    // Reports that SQLite rolled the open transaction back (code and message
    // of the statement that ended it) and leaves it.
    void LeaveRolledBackTransaction(int code, const WString& message);

    LogSink& log_;
    // Fields in the order the object declares them.
    LONG connectionState_ = 0;
    WString dataFolder_;
    WString currentFileName_;
    WString currentPath_;
    WString installFolder_;
    std::vector<WString> creationList_;
    sqlite3* transaction_ = nullptr;
    // The transaction's prepared inserts; finalized before it closes.
    TransactionInserts inserts_;
    bool inTransaction_ = false;
    // Set once SQLite has left the open transaction by itself: the failure
    // that ended it, reported at the commit.
    bool transactionEnded_ = false;
    int endCode_ = 0;
    WString endMessage_;
    bool recording_ = true;
    WString systemName_;

    CreateCall createCall_;
    std::function<void(DWORD)> pause_;
    int busyTimeoutMs_;
};
