// The only error type of the SQLite access layer. It carries a result code
// (an SQLite primary result code, or CPPSQLITE_ERROR for failures the layer
// finds itself) and a display text formatted once at construction as
// "NAME[code]: detail".
// Ownership: the exception owns its text buffer; a detail handed in is only
// copied (texts from sqlite3_errmsg16 stay SQLite's).
// Thread-safety: an instance is not shared; resultCodeName is safe anywhere.
// Failures: construction and copying throw only std::bad_alloc.
#pragma once

#include <memory>

#include "com/Platform.h"

// Code of the failures found by the layer's own checks.
constexpr int CPPSQLITE_ERROR = 1000;

class CppSQLite3Exception {
public:
    // The text is "%s[%d]: %s" of resultCodeName(code), code and detail (a
    // null detail reads as empty), in a buffer of detail length + 50 units.
    CppSQLite3Exception(int code, const OLECHAR* detail);
    // The copy gets its own buffer (source length + 10 units) with the same
    // text; a null text stays null.
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    virtual ~CppSQLite3Exception();

    int code() const { return code_; }
    // The display text, valid as long as the exception lives.
    const OLECHAR* message() const { return message_.get(); }

    // The fixed name of a result code; "UNKNOWN_ERROR" for any code not in
    // the table (extended result codes and negative values included).
    static const OLECHAR* resultCodeName(int code);

private:
    static std::unique_ptr<OLECHAR[]> CopyText(const OLECHAR* text);

    int code_;
    std::unique_ptr<OLECHAR[]> message_;
};
