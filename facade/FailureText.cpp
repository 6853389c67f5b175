#include "FailureText.h"

#include <iterator>

#include "sqlite/CppSQLite3Exception.h"

namespace {
struct Entry {
    FailureText::Id id;
    const OLECHAR* format;
};

using Id = FailureText::Id;

// One text for each Id, in the order of the enumeration.
constexpr Entry kTexts[] = {
    {Id::NoFileSelected, OLESTR("CreateDbFile Error:FileName is empty and no database file is selected yet")},
    {Id::EmptyColumnList, OLESTR("CreateDB Error:table %s is missing and ColumnName names no column to create it with")},
    {Id::UpdateNewCounts, OLESTR("UpdateDBRecord Error:NewCol and NewVal differ in count: %d and %d")},
    {Id::UpdateConditionCounts, OLESTR("UpdateDBRecord Error:ConditionCol and ConditionVal differ in count: %d and %d")},
    {Id::DeleteConditionCounts, OLESTR("DeleteDBRecord Error:ConditionCol and ConditionVal differ in count: %d and %d")},
    {Id::QueryConditionCounts, OLESTR("GetDBRecordSet Error:ConditionCol and ConditionVal differ in count: %d and %d")},
    {Id::DeleteRawSemicolon, OLESTR("DeleteDBRecord Error:a raw condition may not hold \";\"\r\n%s")},
    {Id::QueryRawSemicolon, OLESTR("GetDBRecordSet Error:a raw condition may not hold \";\"\r\n%s")},
    {Id::QueryFileMissing, OLESTR("GetDBRecordSet Error:the database file %s does not exist\r\n%s")},
    {Id::QueryNoRecordSet, OLESTR("GetDBRecordSet Error:pRecordSet is null")},
    {Id::QueryNotRecordSet, OLESTR("GetDBRecordSet Error:pRecordSet is not a RecordSet")},
    {Id::QueryRowNotStored,
     OLESTR("GetDBRecordSet Error:the RecordSet could not store row %d (%s), so it holds no rows\r\n%s")},
    {Id::WriteAfterRollback, OLESTR("%s; the transaction was rolled back, so this write was not run")},
    {Id::ImportFileNotOpened, OLESTR("ImportDbFile Error:cannot open %s: %s")},
    {Id::ImportRelativeNotOpened, OLESTR("ImportDbFile Error:cannot open %s (relative to the working folder %s): %s")},
    {Id::ImportDatabaseMissing, OLESTR("ImportDbFile Error:the database file %s does not exist")},
    {Id::ImportRow, OLESTR("%s\r\nrow %d: %s")},
    {Id::ImportNotStored, OLESTR("ImportDbFile Error:the rows were not stored")},
    {Id::DropNotDeleted, OLESTR("DropTable Error:cannot delete %s (system error %d)")},
};

constexpr bool EveryIdInItsPlace() {
    if (std::size(kTexts) != static_cast<size_t>(Id::Count)) return false;
    for (size_t i = 0; i < std::size(kTexts); ++i)
        if (static_cast<size_t>(kTexts[i].id) != i) return false;
    return true;
}
static_assert(EveryIdInItsPlace(), "kTexts holds one text for each FailureText::Id, in order");
}  // namespace

const OLECHAR* FailureText::Format(Id id) noexcept { return kTexts[static_cast<size_t>(id)].format; }

WString FailureText::Sqlite(int code, const OLECHAR* message, const WString& statement) {
    return WideFormat::Format(OLESTR("%s\r\n%s"), {CppSQLite3Exception(code, message).message(), statement});
}
