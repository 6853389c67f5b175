#include <gtest/gtest.h>

#include <memory>

#include "sqlite/CppSQLite3Exception.h"

namespace {

WString Text(const OLECHAR* text) {
    return text ? WString(text) : WString();
}

TEST(CppSQLite3ExceptionTest, MessageIsNameCodeAndDetail) {
    const struct { int code; const OLECHAR* detail; const OLECHAR* message; } cases[] = {
        {1000, OLESTR("Database not open"), OLESTR("CPPSQLITE_ERROR[1000]: Database not open")},
        {1, OLESTR("no such table: t"), OLESTR("SQLITE_ERROR[1]: no such table: t")},
        {14, nullptr, OLESTR("SQLITE_CANTOPEN[14]: ")},
        {19, OLESTR("\u00e9\U0001F600"), OLESTR("SQLITE_CONSTRAINT[19]: \u00e9\U0001F600")},
        {101, OLESTR("d"), OLESTR("SQLITE_DONE[101]: d")},
        // Codes outside the table, extended result codes included.
        {26, OLESTR("x"), OLESTR("UNKNOWN_ERROR[26]: x")},
        {102, OLESTR("x"), OLESTR("UNKNOWN_ERROR[102]: x")},
        {266, OLESTR("disk I/O error"), OLESTR("UNKNOWN_ERROR[266]: disk I/O error")},
        {-2147483647 - 1, OLESTR("min"), OLESTR("UNKNOWN_ERROR[-2147483648]: min")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        CppSQLite3Exception e(c.code, c.detail);
        EXPECT_EQ(e.code(), c.code);
        EXPECT_EQ(Text(e.message()), Text(c.message));
    }
}

TEST(CppSQLite3ExceptionTest, CopiesOwnTheirTextAndOutliveTheSource) {
    WString detail(OLESTR("UNIQUE constraint failed: t.a"));
    auto source = std::make_unique<CppSQLite3Exception>(19, detail.c_str());
    detail.assign(detail.size(), OLESTR('#'));  // the detail was copied, not kept
    CppSQLite3Exception copy(*source);
    CppSQLite3Exception assigned(1, OLESTR("first"));
    assigned = *source;
    EXPECT_NE(copy.message(), source->message());
    source.reset();
    for (const CppSQLite3Exception* e : {&copy, &assigned}) {
        EXPECT_EQ(e->code(), 19);
        EXPECT_EQ(Text(e->message()), WString(OLESTR("SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: t.a")));
    }
}

}  // namespace
