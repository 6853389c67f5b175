#include "facade/StatementText.h"

#include <gtest/gtest.h>

namespace {
struct InsertCase {
    const OLECHAR* columns;
    const OLECHAR* values;
    const OLECHAR* expected;
};

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
    // "%" has no special meaning in updates.
    EXPECT_EQ(StatementText::Update(OLESTR("T"), OLESTR("k"), OLESTR("x%"), OLESTR("a"), OLESTR("1")).value(), OLESTR("UPDATE T SET a='1' WHERE k='x%';"));
    EXPECT_EQ(StatementText::Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR(""), OLESTR("")).value(), OLESTR("UPDATE T SET ;"));
    // Differing counts run nothing.
    EXPECT_FALSE(StatementText::Update(OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("a,b"), OLESTR("1")).has_value());
    EXPECT_FALSE(StatementText::Update(OLESTR("T"), OLESTR("id"), OLESTR(""), OLESTR("a"), OLESTR("1")).has_value());
    EXPECT_FALSE(StatementText::Update(OLESTR("T"), OLESTR("id,k"), OLESTR("1"), OLESTR("a"), OLESTR("1")).has_value());
}

struct ConditionCase {
    const OLECHAR* columns;
    const OLECHAR* values;
    const OLECHAR* expected;
};

TEST(StatementTextTest, Delete) {
    const ConditionCase cases[] = {
        {OLESTR(""), OLESTR("anything"), OLESTR("DELETE FROM T;")},
        {OLESTR("age>30 AND kind='x'"), OLESTR(""), OLESTR("DELETE FROM T WHERE age>30 AND kind='x';")},
        {OLESTR("name,kind"), OLESTR("Ab%,x"), OLESTR("DELETE FROM T where name like 'Ab%' AND kind = 'x';")},
        {OLESTR("id=1; DROP TABLE T"), OLESTR(""), OLESTR("")},
        {OLESTR("a,b"), OLESTR("1"), OLESTR("DELETE FROM T where ")},
        {OLESTR("a"), OLESTR("it's"), OLESTR("DELETE FROM T where a = 'it''s';")},
    };
    for (const ConditionCase& c : cases) EXPECT_EQ(StatementText::Delete(OLESTR("T"), c.columns, c.values), c.expected);
}

struct SelectCase {
    const OLECHAR* table;
    const OLECHAR* columns;
    const OLECHAR* values;
    const OLECHAR* expected;
};

TEST(StatementTextTest, Select) {
    const SelectCase cases[] = {
        {OLESTR("T"), OLESTR(""), OLESTR(""), OLESTR("SELECT * FROM T;")},
        {OLESTR("T#*#name,age"), OLESTR("kind"), OLESTR("x%"), OLESTR("SELECT name,age FROM T WHERE kind like 'x%';")},
        {OLESTR("T"), OLESTR("id,kind"), OLESTR("7,o'k"), OLESTR("SELECT * FROM T WHERE id = '7' AND kind = 'o''k';")},
        {OLESTR("T"), OLESTR("age>30"), OLESTR(""), OLESTR("SELECT * FROM T WHERE age>30;")},
        {OLESTR("T"), OLESTR("a;b"), OLESTR(""), OLESTR("")},
        {OLESTR("T"), OLESTR("a,b"), OLESTR("1"), OLESTR("SELECT * FROM T WHERE ")},
        {OLESTR("T#*#"), OLESTR(""), OLESTR(""), OLESTR("SELECT  FROM T#*#;")},
        {OLESTR("#*#"), OLESTR(""), OLESTR(""), OLESTR("SELECT  FROM #*#;")},
        {OLESTR("T#*#a#*#b"), OLESTR(""), OLESTR(""), OLESTR("SELECT a FROM T;")},
    };
    for (const SelectCase& c : cases)
        EXPECT_EQ(StatementText::Select(c.table, c.columns, c.values), c.expected);
}
}  // namespace
