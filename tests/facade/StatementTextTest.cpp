#include "facade/StatementText.h"

#include <gtest/gtest.h>

namespace {
struct InsertCase {
    const char16_t* columns;
    const char16_t* values;
    const char16_t* expected;
};

TEST(StatementTextTest, Insert) {
    const InsertCase cases[] = {
        {u"a,b", u"x,it's", u"REPLACE INTO T (a,b) VALUES ('x','it''s');"},
        {u"a,b,c", u"1;2;3||;", u"REPLACE INTO T (a,b,c) VALUES ('1','2','3');"},
        {u"a,b", u"x, y", u"REPLACE INTO T (a,b) VALUES ('x',' y');"},
        {u"a", u"", u"REPLACE INTO T (a) VALUES ();"},
        {u"a,b", u"a#b||#", u"REPLACE INTO T (a,b) VALUES ('a','b');"},
        // Only the first "||" counts: the rest, "||" included, is the separator,
        // which then cannot occur in the values before the cut.
        {u"a,b", u"1||2||||", u"REPLACE INTO T (a,b) VALUES ('1');"},
        {u"a,b", u"1|2||||", u"REPLACE INTO T (a,b) VALUES ('1|2');"},
        // An empty suffix keeps ",".
        {u"a,b", u"1,2||", u"REPLACE INTO T (a,b) VALUES ('1','2');"},
        // A trailing separator gives no empty last value; a middle one does.
        {u"a,b", u"1,,", u"REPLACE INTO T (a,b) VALUES ('1','');"},
        {u"a", u"%,\u00e9\U0001F600", u"REPLACE INTO T (a) VALUES ('%','\u00e9\U0001F600');"},
    };
    for (const InsertCase& c : cases)
        EXPECT_EQ(StatementText::Insert(u"T", c.columns, c.values), WString(c.expected));
}

TEST(StatementTextTest, Update) {
    EXPECT_EQ(StatementText::Update(u"T", u"id,kind", u"7,o'k", u"a,b", u"1,2").value(),
              u"UPDATE T SET a='1', b='2' WHERE id='7' AND kind='o''k';");
    EXPECT_EQ(StatementText::Update(u"T", u"", u"", u"a;b||;", u"1;2").value(), u"UPDATE T SET a='1', b='2';");
    // "%" has no special meaning in updates.
    EXPECT_EQ(StatementText::Update(u"T", u"k", u"x%", u"a", u"1").value(), u"UPDATE T SET a='1' WHERE k='x%';");
    EXPECT_EQ(StatementText::Update(u"T", u"", u"", u"", u"").value(), u"UPDATE T SET ;");
    // Differing counts run nothing.
    EXPECT_FALSE(StatementText::Update(u"T", u"", u"", u"a,b", u"1").has_value());
    EXPECT_FALSE(StatementText::Update(u"T", u"id", u"", u"a", u"1").has_value());
    EXPECT_FALSE(StatementText::Update(u"T", u"id,k", u"1", u"a", u"1").has_value());
}

struct ConditionCase {
    const char16_t* columns;
    const char16_t* values;
    const char16_t* expected;
};

TEST(StatementTextTest, Delete) {
    const ConditionCase cases[] = {
        {u"", u"anything", u"DELETE FROM T;"},
        {u"age>30 AND kind='x'", u"", u"DELETE FROM T WHERE age>30 AND kind='x';"},
        {u"name,kind", u"Ab%,x", u"DELETE FROM T where name like 'Ab%' AND kind = 'x';"},
        {u"id=1; DROP TABLE T", u"", u""},
        {u"a,b", u"1", u"DELETE FROM T where "},
        {u"a", u"it's", u"DELETE FROM T where a = 'it''s';"},
    };
    for (const ConditionCase& c : cases) EXPECT_EQ(StatementText::Delete(u"T", c.columns, c.values), c.expected);
}

struct SelectCase {
    const char16_t* table;
    const char16_t* columns;
    const char16_t* values;
    const char16_t* expected;
};

TEST(StatementTextTest, Select) {
    const SelectCase cases[] = {
        {u"T", u"", u"", u"SELECT * FROM T;"},
        {u"T#*#name,age", u"kind", u"x%", u"SELECT name,age FROM T WHERE kind like 'x%';"},
        {u"T", u"id,kind", u"7,o'k", u"SELECT * FROM T WHERE id = '7' AND kind = 'o''k';"},
        {u"T", u"age>30", u"", u"SELECT * FROM T WHERE age>30;"},
        {u"T", u"a;b", u"", u""},
        {u"T", u"a,b", u"1", u"SELECT * FROM T WHERE "},
        {u"T#*#", u"", u"", u"SELECT  FROM T#*#;"},
        {u"#*#", u"", u"", u"SELECT  FROM #*#;"},
        {u"T#*#a#*#b", u"", u"", u"SELECT a FROM T;"},
    };
    for (const SelectCase& c : cases)
        EXPECT_EQ(StatementText::Select(c.table, c.columns, c.values), c.expected);
}
}  // namespace
