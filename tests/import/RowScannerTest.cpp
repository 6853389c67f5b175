#include "import/RowScanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace {
using Kind = RowScanner::RowKind;

struct ScanCase {
    WString row;
    Kind kind;
    WString values;  // per value: t<text> i<integer> n l, joined by '|'
};

WString Number(int64_t value) {
    const std::string digits = std::to_string(value);
    return WString(digits.begin(), digits.end());
}

WString Describe(const WString& row, const std::vector<RowScanner::Value>& values) {
    WString out;
    WString text;
    for (const RowScanner::Value& v : values) {
        if (!out.empty()) out += OLESTR("|");
        switch (v.kind) {
            case RowScanner::Value::Kind::Text:
                RowScanner::Unescape(row, v, text);
                out += OLESTR("t") + text;
                break;
            case RowScanner::Value::Kind::Integer:
                out += OLESTR("i") + Number(v.integer);
                break;
            case RowScanner::Value::Kind::Null:
                out += OLESTR("n");
                break;
            case RowScanner::Value::Kind::Literal:
                out += OLESTR("l");
                break;
            case RowScanner::Value::Kind::Joined:
                RowScanner::Join(row, v, text);
                out += OLESTR("j") + text;
                break;
        }
    }
    return out;
}

// What SQLite's tokenizer makes of each row decides whether it may be
// stored on its own; doubtful rows must come out as Other.
TEST(RowScannerTest, ClassifiesRowsAsSqliteReadsThem) {
    const ScanCase cases[] = {
        {OLESTR("'k1','Ann'"), Kind::Bindable, OLESTR("tk1|tAnn")},
        {OLESTR(" \t'a' ,\r\n'b'\f"), Kind::Bindable, OLESTR("ta|tb")},
        {OLESTR("'it''s',''''"), Kind::Bindable, OLESTR("tit's|t'")},
        {OLESTR("'','a,b'"), Kind::Bindable, OLESTR("t|ta,b")},
        {OLESTR("NULL,null,NuLl"), Kind::Bindable, OLESTR("n|n|n")},
        {OLESTR("0,-5,+7,- 8,007,-0"), Kind::Bindable, OLESTR("i0|i-5|i7|i-8|i7|i0")},
        {OLESTR("9223372036854775807,-9223372036854775808"), Kind::Bindable,
         OLESTR("i9223372036854775807|i-9223372036854775808")},
        {OLESTR("00000000000000000000001"), Kind::Bindable, OLESTR("i1")},
        {OLESTR("9223372036854775808"), Kind::Literal, OLESTR("l")},
        {OLESTR("-9223372036854775809"), Kind::Literal, OLESTR("l")},
        {OLESTR("1.5,'a'"), Kind::Literal, OLESTR("l|ta")},
        {OLESTR("1.,.5,1e5,1E-5,2.5e+3"), Kind::Literal, OLESTR("l|l|l|l|l")},
        {OLESTR("0x1F,-0XfF"), Kind::Literal, OLESTR("l|l")},
        {OLESTR("X'00ff',x''"), Kind::Literal, OLESTR("l|l")},
        {OLESTR("'\u00e9\U0001F600'"), Kind::Bindable, OLESTR("t\u00e9\U0001F600")},
        // Texts joined from literals and ASCII characters, as SQLite joins them.
        {OLESTR("'two'||char(10)||'lines'"), Kind::Bindable, OLESTR("jtwo\nlines")},
        {OLESTR("'a' ||\tCHAR(031)|| '''b' ,'c'"), Kind::Bindable, OLESTR("ja\x1F'b|tc")},
        {OLESTR("'x'||'y',1.5"), Kind::Literal, OLESTR("jxy|l")},
    };
    // Everything below needs the whole statement to be understood.
    const WString others[] = {
        OLESTR(""), OLESTR("'a',"), OLESTR(",'a'"), OLESTR("'a"), OLESTR("'a''"), OLESTR("'a' 'b'"), OLESTR("'a'b"),
        OLESTR("\"a\""), OLESTR("[a]"), OLESTR("`a`"), OLESTR("abc"), OLESTR("\u00e9"), OLESTR("nullx"),
        OLESTR("nul"), OLESTR("NOT NULL"), OLESTR("TRUE"), OLESTR("(1)"), OLESTR("1+1"), OLESTR("--1"),
        OLESTR("- -1"), OLESTR("-'a'"), OLESTR("-NULL"), OLESTR("1 /* c */"), OLESTR("1 -- c"), OLESTR("1;"),
        OLESTR("1)"), OLESTR("12abc"), OLESTR("1e"), OLESTR("1e+"), OLESTR("1.5.5"), OLESTR("."), OLESTR("0x"),
        OLESTR("0x1g"), OLESTR("1_000"), OLESTR("X'0'"), OLESTR("X'0g'"), OLESTR("?"), OLESTR(":a"), OLESTR("1\v"),
        WString(OLESTR("'a\0b'"), 5), WString(1, OLECHAR('\'')) + OLECHAR(0xD800) + OLESTR("'"),
        WString(OLESTR("'a")) + OLECHAR(0xDC00) + OLESTR("'"),
        OLESTR("'a'||"), OLESTR("'a'||1"), OLESTR("'a'|'b'"), OLESTR("'a'| |'b'"), OLESTR("'a'||char(0)"),
        OLESTR("'a'||char(128)"), OLESTR("'a'||char (10)"), OLESTR("'a'||char(10"), OLESTR("'a'||char(+10)"),
        OLESTR("'a'||chr(10)"), OLESTR("'a'||char(10,13)"), OLESTR("char(10)||'a'"), OLESTR("'a'||'b'='ab'"),
        OLESTR("'a'||'b' COLLATE NOCASE"), OLESTR("1||'a'"), OLESTR("NULL||'a'"),
    };
    std::vector<RowScanner::Value> values;
    size_t utf8Size = 0;
    for (size_t i = 0; i < std::size(others); ++i)
        EXPECT_EQ(RowScanner::Scan(others[i], values, utf8Size), Kind::Other) << "other " << i;
    int index = 0;
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << index++);
        const Kind kind = RowScanner::Scan(c.row, values, utf8Size);
        EXPECT_EQ(kind, c.kind);
        if (kind != Kind::Other) {
            EXPECT_EQ(Describe(c.row, values), c.values);
        }
    }
}

// The byte count decides SQLite's statement length limit, so it must be the
// UTF-8 length exactly.
TEST(RowScannerTest, CountsUtf8BytesAndRefusesWhatUtf8CannotCarry) {
    const struct { WString row; size_t bytes; } cases[] = {
        {OLESTR(""), 0},
        {OLESTR("'abc'"), 5},
        {OLESTR("\u00e9\u20ac\U0001F600"), 9},
        {WString(OLESTR("a\0"), 2), SIZE_MAX},
        {OLESTR("a") + WString(1, OLECHAR(0xD800)), SIZE_MAX},
        {WString(1, OLECHAR(0xDFFF)) + OLESTR("a"), SIZE_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(RowScanner::Utf8Size(c.row), c.bytes);
}
}  // namespace
