// The texts of the log lines that say why a call failed where no other line
// of the call says it, kept in one table so that every such text is found in
// one place (docs/api.md lists each line beside its method).
// Two forms: a failure in SQLite is logged as every statement failure is,
// the access layer's "NAME[code]: text", CR LF, and the statement (or what
// SQLite was given in its place, such as a path); a failure found before
// SQLite is one plain sentence that begins with the name of the method or
// routine, "Name Error:...".
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <initializer_list>

#include "com/Platform.h"
#include "com/WideFormat.h"

class FailureText {
public:
    enum class Id {
        NoFileSelected,           // CreateDbFile: empty FileName, no current file yet
        EmptyColumnList,          // CreateDB: a missing table and no column to make it with
        UpdateNewCounts,          // UpdateDBRecord: new columns and new values differ in number
        UpdateConditionCounts,    // UpdateDBRecord: condition columns and values differ in number
        DeleteConditionCounts,    // DeleteDBRecord: the same for its paired conditions
        QueryConditionCounts,     // GetDBRecordSet: the same for its paired conditions
        DeleteRawSemicolon,       // DeleteDBRecord: a raw condition holding ";", then the statement refused
        QueryRawSemicolon,        // GetDBRecordSet: the same
        QueryFileMissing,         // GetDBRecordSet: the current file is not there, then the statement
        QueryNoRecordSet,         // GetDBRecordSet: no RecordSet given
        QueryNotRecordSet,        // GetDBRecordSet: the object given is no RecordSet
        QueryRowNotStored,        // GetDBRecordSet: the RecordSet refused a row (out of memory), then the statement
        WriteAfterRollback,       // a write of a transaction that SQLite has already rolled back
        ImportFileNotOpened,      // ImportDbFile: the text file could not be opened, and the system's reason
        ImportRelativeNotOpened,  // ImportDbFile: the same for a relative path, with the working folder
        ImportDatabaseMissing,    // ImportDbFile: the database file is not there
        ImportRow,                // ImportDbFile: SQLite's line, then the first row of the failing statement
        ImportNotStored,          // ImportDbFile: a failure that gave no reason (none is known to)
        DropNotDeleted,           // DropTable: the current file could not be deleted, and the system's code
        Count                     // the number of texts; not a text
    };

    // The format of a text: "%s" and "%d" are filled in order (WideFormat).
    // id must be a text's (below Count).
    static const OLECHAR* Format(Id id) noexcept;

    // The text of id filled with args.
    static WString Line(Id id, std::initializer_list<WideFormat::Arg> args) {
        return WideFormat::Format(Format(id), args);
    }

    // A failure in SQLite: "NAME[code]: message" as the access layer forms
    // it, CR LF, and the statement (a null message reads as empty).
    static WString Sqlite(int code, const OLECHAR* message, const WString& statement);
};
