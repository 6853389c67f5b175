// Loads the rows of a delimited text file into one table in one transaction:
// the file's lines joined without line breaks, cut into rows at the row
// separator, the column separator of each row replaced by ",", and the rows
// stored as the one statement "INSERT INTO T VALUES (row),(row),...;" stores
// them: all rows or none. The commit is durable: once Import answers
// Stored, a power cut loses none of the rows, and at no moment does it
// damage rows committed before.
// Rows that are plain lists of literals are streamed from the file and stored
// as they are read; the first row that is anything else (or a table name
// that is not a plain identifier) sends the whole import, from the start,
// through the one statement itself, so every result is the one statement's.
// A failed import says why (Failure): what SQLite answered and the row of
// the file where the failing statement begins, so that one bad row among
// millions can be found. Finding that row costs nothing while rows are
// stored: the streamed import counts its rows anyway, and the one statement's
// row is found after its failure, by reading the file again.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <cstdint>

#include "com/Platform.h"

class BulkImporter {
public:
    enum class Outcome { Stored, FileNotOpened, Failed };

    // Why an import was not stored.
    struct Failure {
        enum class Kind {
            None,
            FileNotOpened,    // the text file: systemError holds the C library's errno of its open
            DatabaseMissing,  // nothing at the database file's path
            Sqlite            // SQLite refused: code and message, and where
        };
        Kind kind = Kind::None;
        int systemError = 0;
        int code = 0;
        WString message;
        // The number (from 1) of the first row of the failing statement, and
        // that row as the file holds it, cut to kRowExcerpt units; 0 when the
        // failure has no row: statement then holds what SQLite was given (a
        // statement, or the database file's path).
        uint64_t row = 0;
        WString rowText;
        WString statement;
        // ExecBatch: where in the UTF-8 text of sql SQLite stopped, counted
        // in bytes from its start (the start of the failing statement when
        // SQLite does not say); -1 when the failure is not in sql.
        int64_t errorByte = -1;
    };
    static constexpr size_t kRowExcerpt = 200;

    // Imports filePath into table of the database file at dbPath (which must
    // exist). FileNotOpened when the text file cannot be opened. Unless the
    // rows were stored, *failure (when given) says why.
    static Outcome Import(const WString& dbPath, const WString& filePath, const WString& table,
                          const WString& rowSplit, const WString& columnSplit, Failure* failure = nullptr);

    // The same import done literally: the whole file read, the one statement
    // built and run by ExecBatch. Import's results are defined as this one's.
    static Outcome ImportOneStatement(const WString& dbPath, const WString& filePath, const WString& table,
                                      const WString& rowSplit, const WString& columnSplit,
                                      Failure* failure = nullptr);

    // The one statement the import stands for, built from the file's text.
    static WString BuildStatement(const WString& fileText, const WString& table, const WString& rowSplit,
                                  const WString& columnSplit);

    // Runs sql on a connection of its own inside one transaction, no busy
    // timeout, committed durably (DirectConnection::MakeCommitsDurable), its
    // statements one after the other as sqlite3_exec runs them. True when it
    // ran and was committed; on any failure the transaction is rolled back.
    // False when the file at dbPath does not exist (it is never created
    // here). *failure (when given) says why it failed.
    static bool ExecBatch(const WString& dbPath, const WString& sql, Failure* failure = nullptr);

    // Reads every line of a text file and joins them; false when the file
    // cannot be opened.
    static bool ReadFileText(const WString& filePath, WString& text);
};
