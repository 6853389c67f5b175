// Creates a database file with one table of TEXT columns, its key, collation
// and numbered indexes, unless the table exists. Works on a connection of its
// own without busy timeout; never on the facade's transaction connection.
// Thread-safety: stateless apart from the log sink it is given; one call at a
// time per sink. Throws only std::bad_alloc.
#pragma once

#include <vector>

#include "LogSink.h"
#include "com/Platform.h"

class SchemaCreator {
public:
    struct TableOptions {
        bool primaryKey = true;      // first column is the key (unless keyCount > 0)
        bool caseSensitive = false;  // false: first column gets COLLATE NOCASE
        int indexCount = 0;          // leading columns with indexes
        int keyCount = 0;            // leading columns of a table-level key
    };

    // Reads "name|pk|cs|indexes|keys" into the name and options; the options
    // count only when the text splits into more than one piece at "|".
    static WString ParseTableArgument(const WString& tableArgument, TableOptions& options);

    // Reads a count as the C runtime's _wtoi does: leading white space, an
    // optional sign, digits up to the first other character; none give 0.
    static int ReadCount(const WString& text);

    // "CREATE TABLE T(id TEXT PRIMARY KEY COLLATE NOCASE, name TEXT);"
    static WString TableStatement(const WString& table, const std::vector<WString>& columns,
                                  const TableOptions& options);

    // The CREATE INDEX statements in the order they run (may be empty).
    static std::vector<WString> IndexStatements(const WString& table, const std::vector<WString>& columns,
                                                int indexCount);

    // Creates the folders of path level by level when the file is missing.
    static void CreateFolders(const WString& path);

    // The whole creation, committed durably: true when the file opened and
    // the table was found (also under another case of its name, whose
    // indexes are then tried without their failures counting) or was made
    // with its indexes. False for an empty path (nothing logged: callers
    // check it first), and for any failure, which logs "CreateDB open
    // fail:%d", "CreateDB Error:%d, %s" or "CreateDB Parma error:%s" and then
    // its FailureText line; a table statement, index or commit that fails
    // logs its FailureText line alone, and nothing of the table is kept.
    static bool CreateDB(LogSink& log, const WString& path, const WString& table, const WString& columnList,
                         const TableOptions& options);
};
