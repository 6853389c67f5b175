#include "facade/StatementText.h"

#include <gtest/gtest.h>

namespace {
struct InsertCase { const OLECHAR* columns; const OLECHAR* values; const OLECHAR* expected; };

TEST(StatementTextTest, Insert) {
    const InsertCase cases[] = {
        {OLESTR("a,b"), OLESTR("x,it's"), OLESTR("REPLACE INTO T (a,b) VALUES ('x','it''s');")},
        {OLESTR("a,b,c"), OLESTR("1;2;3||;"), OLESTR("REPLACE INTO T (a,b,c) VALUES ('1','2','3');")},
        {OLESTR("a,b"), OLESTR("x, y"), OLESTR("REPLACE INTO T (a,b) VALUES ('x',' y');")},
        {OLESTR("a"), OLESTR(""), OLESTR("REPLACE INTO T (a) VALUES ();")},
        {OLESTR("a,b"), OLESTR("a#b||#"), OLESTR("REPLACE INTO T (a,b) VALUES ('a','b');")},
        // Only the first "||" counts: the rest, "||" included, is the separator,
        // which then cannot occur in the values before the cut.
        {OLESTR("a,b"), OLESTR("1||2||||"), OLESTR("REPLACE INTO T (a,b) VALUES ('1');")},
        {OLESTR("a,b"), OLESTR("1|2||||"), OLESTR("REPLACE INTO T (a,b) VALUES ('1|2');")},
        // An empty suffix keeps ",".
        {OLESTR("a,b"), OLESTR("1,2||"), OLESTR("REPLACE INTO T (a,b) VALUES ('1','2');")},
        // A trailing separator gives no empty last value; a middle one does.
        {OLESTR("a,b"), OLESTR("1,,"), OLESTR("REPLACE INTO T (a,b) VALUES ('1','');")},
        {OLESTR("a"), OLESTR("%,\u00e9\U0001F600"), OLESTR("REPLACE INTO T (a) VALUES ('%','\u00e9\U0001F600');")},
        {OLESTR("a,b"), OLESTR(",x"), OLESTR("REPLACE INTO T (a,b) VALUES ('','x');")},
        {OLESTR("a,b"), OLESTR("o'k,,'"), OLESTR("REPLACE INTO T (a,b) VALUES ('o''k','','''');")},
        // The list is split after its quotes are doubled: a separator that
        // holds a quote also cuts inside a doubled one.
        {OLESTR("a,b"), OLESTR("x'y||'"), OLESTR("REPLACE INTO T (a,b) VALUES ('x','','y');")},
        {OLESTR("a,b"), OLESTR("x''y||''"), OLESTR("REPLACE INTO T (a,b) VALUES ('x','','y');")},
    };
    for (const InsertCase& c : cases)
        EXPECT_EQ(StatementText::Insert(OLESTR("T"), c.columns, c.values), WString(c.expected));
}

TEST(StatementTextTest, Update) {
    EXPECT_EQ(StatementText::Update(OLESTR("T"), OLESTR("id,kind"), OLESTR("7,o'k"), OLESTR("a,b"), OLESTR("1,2")).value(),
              OLESTR("UPDATE T SET a='1', b='2' WHERE id='7' AND kind='o''k';"));
    EXPECT_EQ(StatementText::Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("a;b||;"), OLESTR("1;2")).value(), OLESTR("UPDATE T SET a='1', b='2';"));
    EXPECT_EQ(StatementText::Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR(""), OLESTR("")).value(), OLESTR("UPDATE T SET ;"));
}

// What the engine tests cannot see of a select: only the first "#*#" splits
// the table argument, and an empty table name stays in the text.
TEST(StatementTextTest, Select) {
    EXPECT_EQ(StatementText::Select(OLESTR("T#*#a#*#b"), OLESTR(""), OLESTR("")), OLESTR("SELECT a FROM T;"));
    EXPECT_EQ(StatementText::Select(OLESTR("#*#"), OLESTR(""), OLESTR("")), OLESTR("SELECT  FROM #*#;"));
}
}  // namespace
