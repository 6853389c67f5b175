// Builds the SQL texts of the facade's record operations from their string
// arguments: REPLACE INTO for inserts, UPDATE, DELETE and SELECT. Table names,
// column names, select lists and raw conditions enter the text verbatim;
// values enter in single quotes after every quote is doubled.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <optional>
#include <vector>

#include "com/Platform.h"

class StatementText {
public:
    // What kept a statement from being built as the arguments meant it.
    struct Defect {
        enum class Kind {
            None,
            NewCounts,        // the new columns and new values differ in number
            ConditionCounts,  // the condition columns and values differ in number
            RawSemicolon      // a raw condition holds ";"
        };
        Kind kind = Kind::None;
        size_t columns = 0;  // the counts that differ
        size_t values = 0;
        WString refused;     // RawSemicolon: the statement the raw condition would make
    };

    // "REPLACE INTO T (cols) VALUES ('v1','v2');". A "||" in value makes the
    // text after its first occurrence the separator of the values; an empty
    // suffix leaves the separator ",".
    static WString Insert(WStringView table, WStringView columns, WStringView values);

    // Appends "REPLACE INTO T (cols) VALUES (" to sql: the head of every
    // insert, the text's and the one whose values are bound.
    static void AppendInsertHead(WString& sql, WStringView table, WStringView columns);

    // The values of an insert, cut from values as Insert cuts them: each
    // piece is one value's text before its quotes are doubled. False (pieces
    // left empty) when the separator holds a quote: Insert then splits the
    // text after doubling, and its pieces are not plain cuts of values.
    static bool InsertValues(WStringView values, std::vector<WStringView>& pieces);

    // "UPDATE T SET a='1', b='2' WHERE id='7' AND k='x';". Nothing (nullopt)
    // when the new columns and values, or the condition columns and values,
    // differ in count: such a call runs nothing. The new lists are compared
    // first; *defect (when given) says which differ and their counts.
    static std::optional<WString> Update(const WString& table, const WString& conditionColumns,
                                         const WString& conditionValues, const WString& newColumns,
                                         const WString& newValues, Defect* defect = nullptr);

    // "DELETE FROM T;", "DELETE FROM T WHERE raw;" or paired conditions with
    // " like " for values holding "%". A raw condition holding ";" gives the
    // empty text, which runs nothing; paired conditions that differ in count
    // leave the text at "DELETE FROM T where ". *defect says which.
    static WString Delete(const WString& table, const WString& conditionColumns, const WString& conditionValues,
                          Defect* defect = nullptr);

    // "SELECT list FROM T ...;" where tableArg may carry "#*#" and a select
    // list. A raw condition holding ";" gives the empty text; *defect as
    // for Delete.
    static WString Select(const WString& tableArg, const WString& conditionColumns,
                          const WString& conditionValues, Defect* defect = nullptr);

private:
    // Appends " col = 'v' AND col like 'v%'"-style pairs; false when the
    // counts differ (nothing appended; *defect gives the counts).
    static bool AppendPatternPairs(WString& sql, const WString& columns, const WString& quotedValues,
                                   Defect* defect);
    // The statement with a raw condition; a ";" in it refuses it (empty text,
    // the statement kept in *defect).
    static WString RawCondition(WString head, const WString& condition, Defect* defect);
};
