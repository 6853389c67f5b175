#include "CppSQLite3Exception.h"

#include <algorithm>

#include "com/WideFormat.h"

CppSQLite3Exception::CppSQLite3Exception(int code, const OLECHAR* detail) : code_(code) {
    const size_t detailLength = detail ? std::char_traits<OLECHAR>::length(detail) : 0;
    const WString text = WideFormat::Format(OLESTR("%s[%d]: %s"), {resultCodeName(code), code, detail});
    // Name (at most 17 units), code (at most 11), brackets, colon, space and
    // terminator take at most 33 of the 50 spare units.
    message_ = std::make_unique<OLECHAR[]>(detailLength + 50);
    std::copy(text.begin(), text.end(), message_.get());
}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : code_(other.code_), message_(CopyText(other.message_.get())) {}

CppSQLite3Exception& CppSQLite3Exception::operator=(const CppSQLite3Exception& other) {
    if (this != &other) {
        message_ = CopyText(other.message_.get());
        code_ = other.code_;
    }
    return *this;
}

CppSQLite3Exception::~CppSQLite3Exception() = default;

std::unique_ptr<OLECHAR[]> CppSQLite3Exception::CopyText(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    const size_t length = std::char_traits<OLECHAR>::length(text);
    auto copy = std::make_unique<OLECHAR[]>(length + 10);
    std::copy(text, text + length, copy.get());
    return copy;
}

const OLECHAR* CppSQLite3Exception::resultCodeName(int code) {
    struct Entry {
        int code;
        const OLECHAR* name;
    };
    static constexpr Entry kNames[] = {
        {0, OLESTR("SQLITE_OK")},          {1, OLESTR("SQLITE_ERROR")},     {2, OLESTR("SQLITE_INTERNAL")},
        {3, OLESTR("SQLITE_PERM")},        {4, OLESTR("SQLITE_ABORT")},     {5, OLESTR("SQLITE_BUSY")},
        {6, OLESTR("SQLITE_LOCKED")},      {7, OLESTR("SQLITE_NOMEM")},     {8, OLESTR("SQLITE_READONLY")},
        {9, OLESTR("SQLITE_INTERRUPT")},   {10, OLESTR("SQLITE_IOERR")},    {11, OLESTR("SQLITE_CORRUPT")},
        {12, OLESTR("SQLITE_NOTFOUND")},   {13, OLESTR("SQLITE_FULL")},     {14, OLESTR("SQLITE_CANTOPEN")},
        {15, OLESTR("SQLITE_PROTOCOL")},   {16, OLESTR("SQLITE_EMPTY")},    {17, OLESTR("SQLITE_SCHEMA")},
        {18, OLESTR("SQLITE_TOOBIG")},     {19, OLESTR("SQLITE_CONSTRAINT")}, {20, OLESTR("SQLITE_MISMATCH")},
        {21, OLESTR("SQLITE_MISUSE")},     {22, OLESTR("SQLITE_NOLFS")},    {23, OLESTR("SQLITE_AUTH")},
        {24, OLESTR("SQLITE_FORMAT")},     {25, OLESTR("SQLITE_RANGE")},    {100, OLESTR("SQLITE_ROW")},
        {101, OLESTR("SQLITE_DONE")},      {CPPSQLITE_ERROR, OLESTR("CPPSQLITE_ERROR")},
    };
    for (const Entry& entry : kNames)
        if (entry.code == code) return entry.name;
    return OLESTR("UNKNOWN_ERROR");
}
