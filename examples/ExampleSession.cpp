#include "ExampleSession.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "obzkit/Bstr.h"
#include "obzkit/HresultText.h"

using obzkit::Bstr;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

unsigned ExampleSession::Run() {
    ConnectAndCreate();
    WriteRecords();
    QueryRecords();
    WriteManyInOneTransaction();
    ShowAFailure();
    ImportAFile();
    DropAndDisconnect();
    return unexpected_;
}

void ExampleSession::ConnectAndCreate() {
    std::cout << "\n== Connect, then make a fresh database file Demo.db with two tables\n";
    // An empty host address makes Connect look for the install folder in the
    // registry; without one the data stays in the default data folder,
    // C:\ProgramData\Ombrel\API\DataBase\ on the runtime's drive C:.
    LONG ret = -1;
    HRESULT hr = S_OK;
    Announce("Connect \"\" \"Demo\"");
    hr = db_->Connect(Bstr(""), Bstr("Demo"), &ret);
    CheckLong(hr, ret, 1);

    // An empty table name deletes the whole file that FileName names: the
    // session starts from nothing, whatever earlier runs or sessions stored.
    Announce("DropTable \"Demo\" \"\"");
    CheckStatus(db_->DropTable(Bstr("Demo"), Bstr(""), &ret), S_OK);

    // People: id is the primary key (option 1), compared without case
    // (option 0), and indexed (index count 1).
    Announce("CreateDbFile \"Demo\" \"People|1|0|1\" \"id,name,city\"");
    hr = db_->CreateDbFile(Bstr("Demo"), Bstr("People|1|0|1"), Bstr("id,name,city"), &ret);
    CheckLong(hr, ret, 1);
    // Visits: the default options (first column the primary key).
    Announce("CreateDbFile \"Demo\" \"Visits\" \"id,person,day\"");
    hr = db_->CreateDbFile(Bstr("Demo"), Bstr("Visits"), Bstr("id,person,day"), &ret);
    CheckLong(hr, ret, 1);
}

void ExampleSession::WriteRecords() {
    std::cout << "\n== Insert, update and delete records\n";
    CheckLong(S_OK, Insert("People", "id,name,city", "1,Ann,Cork"), 1);
    CheckLong(S_OK, Insert("People", "id,name,city", "2,Bob,Dublin"), 1);
    // A quote needs no escaping, and the suffix ||; makes ";" the value
    // separator, so that a value may hold a comma.
    CheckLong(S_OK, Insert("People", "id,name,city", "3;O'Brien, Pat;Cork||;"), 1);
    CheckLong(S_OK, Insert("People", "id,name,city", "4,Tmp one,Galway"), 1);
    CheckLong(S_OK, Insert("People", "id,name,city", "5,Tmp two,Galway"), 1);
    // Inserting an existing key replaces that row.
    CheckLong(S_OK, Insert("People", "id,name,city", "2,Bob,Limerick"), 1);

    LONG ret = -1;
    HRESULT hr = S_OK;
    Announce("UpdateDBRecord \"People\" \"id\" \"2\" \"city\" \"Paris\"");
    hr = db_->UpdateDBRecord(Bstr("People"), Bstr("id"), Bstr("2"), Bstr("city"), Bstr("Paris"), &ret);
    CheckLong(hr, ret, 1);
    Announce("UpdateDBRecord \"People\" \"id\" \"1\" \"name;city||;\" \"Ann Smith;Clonakilty\"");
    hr = db_->UpdateDBRecord(Bstr("People"), Bstr("id"), Bstr("1"), Bstr("name;city||;"),
                             Bstr("Ann Smith;Clonakilty"), &ret);
    CheckLong(hr, ret, 1);
    // A "%" in a condition value compares with LIKE: both Tmp rows go.
    Announce("DeleteDBRecord \"People\" \"name\" \"Tmp%\"");
    hr = db_->DeleteDBRecord(Bstr("People"), Bstr("name"), Bstr("Tmp%"), &ret);
    CheckLong(hr, ret, 1);
}

void ExampleSession::QueryRecords() {
    std::cout << "\n== Query records into the RecordSet and read them through the RecordItem\n";
    // "#*#" picks the columns to return.
    auto rows = Query("People#*#name,city", "", "", {"name", "city"});
    Check(rows.size() == 3, "three people are left");

    // Paired conditions; "%" makes a pattern.
    rows = Query("People", "city", "C%", {"id", "name", "city"});
    Check(rows.size() == 2, "two people live in a city starting with C");

    // One condition with the value that was stored with a quote and a comma.
    rows = Query("People", "id", "3", {"id", "name", "city"});
    Check(rows.size() == 1 && rows[0][1] == "O'Brien, Pat", "the quote and the comma were stored as given");

    // A raw condition: the column text is the WHERE clause, the value empty.
    rows = Query("People", "city = 'Paris' OR id = '1'", "", {"id", "name", "city"});
    Check(rows.size() == 2, "the raw condition finds Bob (Paris) and Ann");
}

void ExampleSession::WriteManyInOneTransaction() {
    std::cout << "\n== 1000 inserts in one transaction\n";
    Announce("BeginTransation");
    CheckStatus(db_->BeginTransation(), S_OK);

    std::cout << "  (1000 x InsertDBRecord \"Visits\" \"id,person,day\" \"vNNNN,N,2024-05-DD\")\n";
    unsigned stored = 0;
    for (int i = 0; i < 1000; ++i) {
        char values[64];
        std::snprintf(values, sizeof values, "v%04d,%d,2024-05-%02d", i, 1 + i % 3, 1 + i % 28);
        LONG ret = 0;
        if (SUCCEEDED(db_->InsertDBRecord(Bstr("Visits"), Bstr("id,person,day"), Bstr(values), &ret)) && ret == 1)
            ++stored;
    }
    Check(stored == 1000, "all 1000 inserts answered 1");

    Announce("CommitTransation");
    CheckStatus(db_->CommitTransation(), S_OK);

    // An SQL expression in the select list: count(*) under the name n.
    auto rows = Query("Visits#*#count(*) AS n", "", "", {"n"});
    Check(rows.size() == 1 && rows[0][0] == "1000", "the table holds 1000 visits after the commit");
}

void ExampleSession::ShowAFailure() {
    std::cout << "\n== A failure: inserting into a table that does not exist\n";
    const unsigned logsBefore = events_.LogCount();
    CheckLong(S_OK, Insert("Missing", "id", "1"), 0);
    Check(events_.LogCount() == logsBefore + 1 && events_.LastLog().find("no such table") != std::string::npos,
          "the reason arrived as one OnWriteLog event");
}

void ExampleSession::ImportAFile() {
    std::cout << "\n== Import a delimited text file\n";
    // Rows end with ";", values are separated by "#" and are SQL literals.
    // A name of its own, so that runs side by side do not share the file.
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("obz-example-" + std::to_string(std::random_device()()) + ".txt");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "'k1'#'Ann';\n'k2'#'Bob';\n'k3'#'O''Neil';\n";
    }
    LONG ret = -1;
    HRESULT hr = S_OK;
    Announce("ImportDbFile " + Quoted(file.string()) + " \"Imported\" \"code,name\" \";\" \"#\"");
    hr = db_->ImportDbFile(Bstr(file.string()), Bstr("Imported"), Bstr("code,name"), Bstr(";"), Bstr("#"), &ret);
    CheckLong(hr, ret, 1);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);

    const auto rows = Query("Imported", "", "", {"code", "name"});
    Check(rows.size() == 3 && rows[2][1] == "O'Neil", "three rows were imported");
}

void ExampleSession::DropAndDisconnect() {
    std::cout << "\n== Drop the imported table, then disconnect\n";
    LONG ret = -1;
    Announce("DropTable \"\" \"Imported\"");
    CheckStatus(db_->DropTable(Bstr(""), Bstr("Imported"), &ret), S_OK);
    Check(ret == 1, "DropTable answered 1");
    // The table is gone: the query fails, and says why in the log.
    Query("Imported", "", "", {"code", "name"}, false);

    Announce("Disconnect");
    CheckStatus(db_->Disconnect(), S_OK);
}

void ExampleSession::Announce(const std::string& call) const { std::cout << "* " << call << std::endl; }

void ExampleSession::Outcome(HRESULT hr, const std::string& actual, const std::string& expected) {
    if (FAILED(hr)) {
        ++unexpected_;
        std::cout << "  => failed with " << obzkit::HresultText(hr) << "   UNEXPECTED" << std::endl;
    } else if (actual != expected) {
        ++unexpected_;
        std::cout << "  => " << actual << "   UNEXPECTED, expected " << expected << std::endl;
    } else {
        std::cout << "  => " << actual << std::endl;
    }
}

void ExampleSession::CheckLong(HRESULT hr, LONG actual, LONG expected) {
    Outcome(hr, std::to_string(actual), std::to_string(expected));
}

void ExampleSession::CheckStatus(HRESULT hr, HRESULT expected) {
    Outcome(SUCCEEDED(hr) ? S_OK : hr, obzkit::HresultText(hr), obzkit::HresultText(expected));
}

void ExampleSession::Check(bool condition, const std::string& what) {
    if (!condition) ++unexpected_;
    std::cout << "  " << (condition ? "ok: " : "UNEXPECTED, not true: ") << what << std::endl;
}

LONG ExampleSession::Insert(const std::string& table, const std::string& columns, const std::string& values) {
    Announce("InsertDBRecord " + Quoted(table) + " " + Quoted(columns) + " " + Quoted(values));
    LONG ret = -1;
    const HRESULT hr = db_->InsertDBRecord(Bstr(table), Bstr(columns), Bstr(values), &ret);
    return SUCCEEDED(hr) ? ret : -1;
}

std::vector<std::vector<std::string>> ExampleSession::Query(const std::string& table,
                                                            const std::string& conditionColumns,
                                                            const std::string& conditionValues,
                                                            const std::vector<std::string>& columns,
                                                            bool expectSuccess) {
    Announce("GetDBRecordSet " + Quoted(table) + " " + Quoted(conditionColumns) + " " + Quoted(conditionValues) +
             " RecordSet");
    VARIANT_BOOL succeeded = VARIANT_FALSE;
    const HRESULT hr =
        db_->GetDBRecordSet(Bstr(table), Bstr(conditionColumns), Bstr(conditionValues), records_, &succeeded);
    Outcome(hr, succeeded ? "true" : "false", expectSuccess ? "true" : "false");
    std::vector<std::vector<std::string>> rows;
    if (FAILED(hr) || !succeeded) return rows;

    LONG count = 0;
    records_->GetRecordCount(&count);
    std::cout << "  GetRecordCount => " << count << std::endl;
    for (LONG i = 0; i < count; ++i) {
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (FAILED(records_->GetRecordItem(i, item_, &loaded)) || !loaded) {
            Check(false, "GetRecordItem " + std::to_string(i) + " loads the item");
            continue;
        }
        std::vector<std::string> row;
        std::string line = "    row " + std::to_string(i) + ":";
        for (const std::string& column : columns) {
            Bstr value;
            item_->GetDataValue(Bstr(column), value.Put());
            row.push_back(value.Utf8());
            line += " " + column + "=" + Quoted(row.back());
        }
        std::cout << line << std::endl;
        rows.push_back(std::move(row));
    }
    return rows;
}
