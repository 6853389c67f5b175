// The example's store-and-query session, run against one database object
// through its early-bound interface. Each step prints the call, the events
// it caused (through the subscribed EventPrinter) and its outcome, and
// counts every outcome that is not the one the step expects.
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>
#include <vector>

#include "EventPrinter.h"

class ExampleSession {
public:
    ExampleSession(IZeveVevuVAD* db, IRecordSet* records, IRecordItem* item, const EventPrinter& events) noexcept
        : db_(db), records_(records), item_(item), events_(events) {}

    // Runs every step; returns the number of unexpected outcomes.
    unsigned Run();

private:
    void ConnectAndCreate();
    void WriteRecords();
    void QueryRecords();
    void WriteManyInOneTransaction();
    void ShowAFailure();
    void ImportAFile();
    void DropAndDisconnect();

    // Prints the call before it runs, so that its events follow it.
    void Announce(const std::string& call) const;
    // Prints the outcome and counts it when it is not the expected one.
    void Outcome(HRESULT hr, const std::string& actual, const std::string& expected);
    void CheckLong(HRESULT hr, LONG actual, LONG expected);
    void CheckStatus(HRESULT hr, HRESULT expected);
    void Check(bool condition, const std::string& what);

    LONG Insert(const std::string& table, const std::string& columns, const std::string& values);
    // Runs GetDBRecordSet, prints the rows (the given columns of each), and
    // returns the rows as their values; expects the query's success as given.
    std::vector<std::vector<std::string>> Query(const std::string& table, const std::string& conditionColumns,
                                                const std::string& conditionValues,
                                                const std::vector<std::string>& columns, bool expectSuccess = true);

    IZeveVevuVAD* db_;
    IRecordSet* records_;
    IRecordItem* item_;
    const EventPrinter& events_;
    unsigned unexpected_ = 0;
};
