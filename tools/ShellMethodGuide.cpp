#include "ShellMethodGuide.h"

namespace {

constexpr const char* kConditionCol =
    "col1,col2,... paired with ConditionVal and joined with AND; with ConditionVal '', a raw WHERE text "
    "such as age>30 (no ;); '' for every row";
constexpr const char* kConditionVal =
    "v1,v2,... one value per condition column; a value holding % compares with like (O% starts with O), "
    "any other with =";

constexpr ShellMethodGuide kGuides[] = {
    // The database object.
    {"Connect",
     "Marks the object connected and finds the data folder. No other method needs it.",
     {{"HostAddress",
       "the install folder, taken as it is when longer than 5 characters (D:\\App\\ makes the data folder "
       "D:\\App\\Data\\API\\); otherwise the registry names it"},
      {"SystemName", "the registry key HKLM\\SOFTWARE\\VANTORIS\\SystemName, whose value Ombrel names the install "
                     "folder when HostAddress does not"}},
     "1, or 2 when the object was connected already",
     true,
     "Connect '' Demo"},
    {"Disconnect",
     "Marks the object not connected; the data folder, the current file and an open transaction stay.",
     {},
     "S_OK",
     true,
     "Disconnect"},
    {"ImportDbFile",
     "Loads a delimited text file into a table of the data folder's current file, every row or none.",
     {{"FilePath", "the file: UTF-16 or UTF-8 with a byte-order mark, or ANSI text; each value an SQL literal ('text', "
                   "12, NULL)"},
      {"TableName", "the table; created when missing, every column TEXT"},
      {"ColumnName", "col1,col2,... the columns of a table that is created"},
      {"RowSplit", "the text that ends every row (line breaks are dropped, so each row must end with it)"},
      {"ColumnSplit", "the text between the values of a row; it is replaced by , (also inside quotes)"}},
     "1 when every row was stored, 0 when none was",
     true,
     "ImportDbFile examples/cities.txt Cities name,country,population ';' '|'"},
    {"InsertDBRecord",
     "Writes one row with REPLACE INTO: a row with the same key is replaced.",
     {{"TableName", "the table"},
      {"Column", "col1,col2,... the SQL column list, always separated by ,"},
      {"Value", "v1,v2,... in the order of the columns, or v1;v2||; where the text after || separates the "
                "values; quotes need no doubling and blanks are kept"}},
     "1 when the row is stored, 0 when it is not (the events say why)",
     true,
     "InsertDBRecord People id,name,city \"3;O'Brien, Pat;Cork||;\""},
    {"UpdateDBRecord",
     "Sets columns of the rows that match every condition.",
     {{"TableName", "the table"},
      {"ConditionCol", "col1,col2,... joined with AND; '' for every row"},
      {"ConditionVal", "v1,v2,... one value per condition column, compared with = (% is a plain character here)"},
      {"NewCol", "col1,col2,... the columns to set, or col1;col2||; where the text after || separates NewCol "
                 "and NewVal"},
      {"NewVal", "v1,v2,... one value per column of NewCol"}},
     "1 when the statement ran, 0 when it failed or two paired lists differ in length",
     true,
     "UpdateDBRecord People id 3 city,name 'Dublin,Pat Ryan'"},
    {"DeleteDBRecord",
     "Deletes the rows that match.",
     {{"TableName", "the table"}, {"ConditionCol", kConditionCol}, {"ConditionVal", kConditionVal}},
     "1 when the statement ran (also when no row matched), 0 when it failed",
     true,
     "DeleteDBRecord People name 'O%'"},
    {"GetDBRecordSet",
     "Queries rows of the current file into a RecordSet; the shell's select prints them as a table.",
     {{"TableName", "Table for every column, or Table#*#select list (People#*#name,city or People#*#count(*))"},
      {"ConditionCol", kConditionCol},
      {"ConditionVal", kConditionVal},
      {"pRecordSet", "$rs, made with new rs Ombrel.RecordSet; read it with rs.GetRecordCount and "
                     "rs.GetRecordItem"}},
     "true when the query ran to its end, false when it failed",
     true,
     "GetDBRecordSet 'People#*#name,city' city 'C%' $rs"},
    {"CreateDbFile",
     "Selects the current database file and makes sure that it holds the table; an existing table is left "
     "as it is.",
     {{"FileName", "Name for Name.db in the data folder, *FULL-PATH (*C:\\data\\x.db, */home/me/x.db), or '' "
                   "for the current file"},
      {"TableName", "Name, or Name|pk|cs|indexes|keys with the table options: pk 0 for no primary key on the "
                    "first column (anything else: a key); cs 1 for a case-sensitive first column (anything "
                    "else: COLLATE NOCASE); indexes: how many leading columns get an index; keys: how many "
                    "leading columns form the primary key"},
      {"ColumnName", "col1,col2,... every column TEXT"}},
     "1 when the table is there, 0 when it is not (the events say why)",
     true,
     "CreateDbFile Shop 'Items|1|0|1' id,name,price"},
    {"BeginTransation",
     "Begins a transaction: the writes up to CommitTransation run on one connection and are stored together.",
     {},
     "S_OK when it is open (a second one joins it), S_FALSE when the file is missing or cannot be opened",
     true,
     "BeginTransation"},
    {"CommitTransation",
     "Commits the open transaction.",
     {},
     "S_OK when it is committed or none is open, S_FALSE when it is not: call it again to retry, unless a line "
     "says that the transaction was rolled back (its writes are lost)",
     true,
     "CommitTransation"},
    {"DropTable",
     "Drops a table of the current file, or deletes the whole file.",
     {{"FileName", "Name to make Name.db in the data folder the current file first, or '' for the current file"},
      {"TableName", "the table to drop; '' deletes the whole current database file"}},
     "1 with S_OK when the table is dropped, S_FALSE when it is not",
     false,
     "DropTable '' Cities"},
    // RecordSet.
    {"GetRecordCount", "The number of rows the RecordSet holds.", {}, "the count", false, "rs.GetRecordCount"},
    {"GetRecordItem",
     "Loads one row into a RecordItem.",
     {{"Index", "the row, from 0 to GetRecordCount - 1"},
      {"RecordItem", "$item, made with new item Ombrel.RecordItem; read it with item.GetDataValue"}},
     "true when the row is loaded, false when there is no such row",
     true,
     "rs.GetRecordItem 0 $item"},
    {"SetRecordItem",
     "Appends a row; GetDBRecordSet fills a RecordSet this way.",
     {{"Record", "v1|#|v2|#|... the values of the row"}},
     "S_OK",
     true,
     "rs.SetRecordItem '1|#|Ann'"},
    {"SetColumnName",
     "Removes every row and sets the column names.",
     {{"Name", "col1,col2,..."}},
     "S_OK",
     true,
     "rs.SetColumnName id,name"},
    // RecordItem.
    {"GetDataValue",
     "The value of one column of the row.",
     {{"Field", "a column name, as the query returned it (names are case-sensitive)"}},
     "the text; \"\" for a column that the row does not hold",
     false,
     "item.GetDataValue name"},
    {"SetDataValue",
     "Replaces the row; GetRecordItem loads an item this way.",
     {{"Name", "col1,col2,..."},
      {"Value", "v1|#|v2|#|... one value per name; when the counts differ the row is left empty"}},
     "S_OK",
     true,
     "item.SetDataValue id,name '1|#|Ann'"},
};

}  // namespace

size_t ShellMethodGuide::ArgumentCount() const noexcept {
    size_t count = 0;
    while (count < kMaxArguments && arguments[count].name != nullptr) ++count;
    return count;
}

std::span<const ShellMethodGuide> ShellMethodGuide::All() noexcept { return kGuides; }

const ShellMethodGuide* ShellMethodGuide::Find(std::string_view method) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const ShellMethodGuide& guide : kGuides) {
        const std::string_view name = guide.method;
        if (name.size() != method.size()) continue;
        size_t i = 0;
        while (i < name.size() && lower(name[i]) == lower(method[i])) ++i;
        if (i == name.size()) return &guide;
    }
    return nullptr;
}
