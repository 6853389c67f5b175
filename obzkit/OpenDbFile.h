// obzkit::OpenDbFile: makes a database file the object's current file, as a
// program does when it starts again and goes back to the file that it, or an
// earlier run, made. A new ZeveVevuVAD object works on its default file
// (API_db.db in the data folder) until a CreateDbFile call names another, so
// every process selects its file before it reads or writes. This is that
// call: CreateDbFile with the file and one of its tables selects the file
// and, when the table is there, leaves it exactly as it is (rows, columns,
// indexes); a missing file or table is made, empty.
//
// `file` is named as CreateDbFile names it: "Demo" for Demo.db in the data
// folder, or "*" and a full path. Pass the table with the options and the
// columns the file was made with: the object records the call, and rebuilds
// the file from it should the file go missing later.
//
// Answers true when the file is selected and holds the table (CreateDbFile
// answered 1); false for a null object, a failed call, or an answer of 0,
// whose reason the object sends to its subscribed sinks as a log line.
// Throws std::bad_alloc when the texts cannot be copied.
// Thread-safety: as the object's own calls.
#pragma once

#include <OBZeveVevuVAD.h>

#include <string_view>

#include "obzkit/Bstr.h"

namespace obzkit {

inline bool OpenDbFile(IZeveVevuVAD* db, std::string_view file, std::string_view table, std::string_view columns) {
    if (db == nullptr) return false;
    LONG answer = 0;
    const HRESULT hr = db->CreateDbFile(Bstr(file), Bstr(table), Bstr(columns), &answer);
    return SUCCEEDED(hr) && answer == 1;
}

}  // namespace obzkit
