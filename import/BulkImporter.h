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
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include "com/Platform.h"

class BulkImporter {
public:
    enum class Outcome { Stored, FileNotOpened, Failed };

    // Imports filePath into table of the database file at dbPath (which must
    // exist). FileNotOpened when the text file cannot be opened.
    static Outcome Import(const WString& dbPath, const WString& filePath, const WString& table,
                          const WString& rowSplit, const WString& columnSplit);

    // The same import done literally: the whole file read, the one statement
    // built and run by ExecBatch. Import's results are defined as this one's.
    static Outcome ImportOneStatement(const WString& dbPath, const WString& filePath, const WString& table,
                                      const WString& rowSplit, const WString& columnSplit);

    // The one statement the import stands for, built from the file's text.
    static WString BuildStatement(const WString& fileText, const WString& table, const WString& rowSplit,
                                  const WString& columnSplit);

    // Runs sql on a connection of its own inside one transaction, no busy
    // timeout, committed durably (DirectConnection::MakeCommitsDurable). True
    // when it ran and was committed; on any failure the transaction is
    // rolled back. False when the file at dbPath does not exist (it is never
    // created here).
    static bool ExecBatch(const WString& dbPath, const WString& sql);

    // Reads every line of a text file and joins them; false when the file
    // cannot be opened.
    static bool ReadFileText(const WString& filePath, WString& text);
};
