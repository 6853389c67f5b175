#include <gtest/gtest.h>

#include <vector>

#include "facade/ParamList.h"

namespace {

TEST(ParamListTest, SplitStringFollowsTheListRule) {
    const struct { const OLECHAR* text; const OLECHAR* separator; std::vector<WString> pieces; } cases[] = {
        {OLESTR("a,b,c"), OLESTR(","), {OLESTR("a"), OLESTR("b"), OLESTR("c")}},
        {OLESTR("a,,b"), OLESTR(","), {OLESTR("a"), OLESTR(""), OLESTR("b")}},
        {OLESTR(",a"), OLESTR(","), {OLESTR(""), OLESTR("a")}},
        {OLESTR("a,"), OLESTR(","), {OLESTR("a")}},
        {OLESTR("a,,"), OLESTR(","), {OLESTR("a"), OLESTR("")}},
        {OLESTR(","), OLESTR(","), {OLESTR("")}},
        {OLESTR(""), OLESTR(","), {}},
        {OLESTR("x , y"), OLESTR(","), {OLESTR("x "), OLESTR(" y")}},
        {OLESTR("a#b#c"), OLESTR("#"), {OLESTR("a"), OLESTR("b"), OLESTR("c")}},
        // Separators of several characters match only as a whole.
        {OLESTR("a|b|#|c"), OLESTR("|#|"), {OLESTR("a|b"), OLESTR("c")}},
        {OLESTR("1|#|2|#|3|#|"), OLESTR("|#|"), {OLESTR("1"), OLESTR("2"), OLESTR("3")}},
        {OLESTR("|#||#|x"), OLESTR("|#|"), {OLESTR(""), OLESTR(""), OLESTR("x")}},
        {OLESTR("aaa"), OLESTR("aa"), {OLESTR(""), OLESTR("a")}},
        {OLESTR("A,a"), OLESTR("a"), {OLESTR("A,")}},
        // An empty separator cannot split: the text stays whole.
        {OLESTR("a,b"), OLESTR(""), {OLESTR("a,b")}},
        {OLESTR(""), OLESTR(""), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParamList::SplitString(c.text, c.separator), c.pieces);
}

TEST(ParamListTest, DoubleQuotesDoublesEverySingleQuote) {
    EXPECT_EQ(ParamList::DoubleQuotes(OLESTR("")), OLESTR(""));
    EXPECT_EQ(ParamList::DoubleQuotes(OLESTR("plain \"q\"")), OLESTR("plain \"q\""));
    EXPECT_EQ(ParamList::DoubleQuotes(OLESTR("it's")), OLESTR("it''s"));
    EXPECT_EQ(ParamList::DoubleQuotes(OLESTR("''x'")), OLESTR("''''x''"));
}

TEST(ParamListTest, FromBstrCopiesUpToFirstZeroAndReadsNullAsEmpty) {
    EXPECT_EQ(ParamList::FromBstr(nullptr), WString());
    BSTR withZero = SysAllocStringLen(OLESTR("ab\0cd"), 5);
    EXPECT_EQ(ParamList::FromBstr(withZero), OLESTR("ab"));
    SysFreeString(withZero);
}

}  // namespace
