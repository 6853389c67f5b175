#include "facade/RowScanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {
using Kind = RowScanner::RowKind;

struct ScanCase {
    std::u16string row;
    Kind kind;
    std::u16string values;  // per value: t<text> i<integer> n l, joined by '|'
};

std::u16string Number(int64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Describe(const std::u16string& row, const std::vector<RowScanner::Value>& values) {
    std::u16string out;
    WString text;
    for (const RowScanner::Value& v : values) {
        if (!out.empty()) out += u"|";
        switch (v.kind) {
            case RowScanner::Value::Kind::Text:
                RowScanner::Unescape(row, v, text);
                out += u"t" + text;
                break;
            case RowScanner::Value::Kind::Integer:
                out += u"i" + Number(v.integer);
                break;
            case RowScanner::Value::Kind::Null:
                out += u"n";
                break;
            case RowScanner::Value::Kind::Literal:
                out += u"l";
                break;
        }
    }
    return out;
}

// What SQLite's tokenizer makes of each row decides whether it may be
// stored on its own; doubtful rows must come out as Other.
TEST(RowScannerTest, ClassifiesRowsAsSqliteReadsThem) {
    const ScanCase cases[] = {
        {u"'k1','Ann'", Kind::Bindable, u"tk1|tAnn"},
        {u" \t'a' ,\r\n'b'\f", Kind::Bindable, u"ta|tb"},
        {u"'it''s',''''", Kind::Bindable, u"tit's|t'"},
        {u"'','a,b'", Kind::Bindable, u"t|ta,b"},
        {u"NULL,null,NuLl", Kind::Bindable, u"n|n|n"},
        {u"0,-5,+7,- 8,007,-0", Kind::Bindable, u"i0|i-5|i7|i-8|i7|i0"},
        {u"9223372036854775807,-9223372036854775808", Kind::Bindable,
         u"i9223372036854775807|i-9223372036854775808"},
        {u"00000000000000000000001", Kind::Bindable, u"i1"},
        {u"9223372036854775808", Kind::Literal, u"l"},
        {u"-9223372036854775809", Kind::Literal, u"l"},
        {u"1.5,'a'", Kind::Literal, u"l|ta"},
        {u"1.,.5,1e5,1E-5,2.5e+3", Kind::Literal, u"l|l|l|l|l"},
        {u"0x1F,-0XfF", Kind::Literal, u"l|l"},
        {u"X'00ff',x''", Kind::Literal, u"l|l"},
        {u"'\u00e9\U0001F600'", Kind::Bindable, u"t\u00e9\U0001F600"},
        // Everything below needs the whole statement to be understood.
        {u"", Kind::Other, u""},
        {u"'a',", Kind::Other, u""},
        {u",'a'", Kind::Other, u""},
        {u"'a", Kind::Other, u""},
        {u"'a''", Kind::Other, u""},
        {u"'a' 'b'", Kind::Other, u""},
        {u"'a'b", Kind::Other, u""},
        {u"\"a\"", Kind::Other, u""},
        {u"[a]", Kind::Other, u""},
        {u"`a`", Kind::Other, u""},
        {u"abc", Kind::Other, u""},
        {u"\u00e9", Kind::Other, u""},
        {u"nullx", Kind::Other, u""},
        {u"nul", Kind::Other, u""},
        {u"NOT NULL", Kind::Other, u""},
        {u"TRUE", Kind::Other, u""},
        {u"(1)", Kind::Other, u""},
        {u"1+1", Kind::Other, u""},
        {u"--1", Kind::Other, u""},
        {u"- -1", Kind::Other, u""},
        {u"-'a'", Kind::Other, u""},
        {u"-NULL", Kind::Other, u""},
        {u"1 /* c */", Kind::Other, u""},
        {u"1 -- c", Kind::Other, u""},
        {u"1;", Kind::Other, u""},
        {u"1)", Kind::Other, u""},
        {u"12abc", Kind::Other, u""},
        {u"1e", Kind::Other, u""},
        {u"1e+", Kind::Other, u""},
        {u"1.5.5", Kind::Other, u""},
        {u".", Kind::Other, u""},
        {u"0x", Kind::Other, u""},
        {u"0x1g", Kind::Other, u""},
        {u"1_000", Kind::Other, u""},
        {u"X'0'", Kind::Other, u""},
        {u"X'0g'", Kind::Other, u""},
        {u"?", Kind::Other, u""},
        {u":a", Kind::Other, u""},
        {u"1\v", Kind::Other, u""},
        {std::u16string(u"'a\0b'", 5), Kind::Other, u""},
        {std::u16string(1, u'\'') + char16_t(0xD800) + u"'", Kind::Other, u""},
        {std::u16string(u"'a") + char16_t(0xDC00) + u"'", Kind::Other, u""},
    };
    std::vector<RowScanner::Value> values;
    int index = 0;
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << index++);
        size_t utf8Size = 0;
        const Kind kind = RowScanner::Scan(c.row, values, utf8Size);
        EXPECT_EQ(kind, c.kind);
        if (kind != Kind::Other) {
            EXPECT_EQ(Describe(c.row, values), c.values);
        }
    }
}
}  // namespace

namespace {
// The byte count decides SQLite's statement length limit, so it must be the
// UTF-8 length exactly.
TEST(RowScannerTest, CountsUtf8BytesAndRefusesWhatUtf8CannotCarry) {
    const struct {
        std::u16string row;
        size_t bytes;
    } cases[] = {
        {u"", 0},
        {u"'abc'", 5},
        {u"\u00e9\u20ac\U0001F600", 9},
        {std::u16string(u"a\0", 2), SIZE_MAX},
        {u"a" + std::u16string(1, char16_t(0xD800)), SIZE_MAX},
        {std::u16string(1, char16_t(0xDFFF)) + u"a", SIZE_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(RowScanner::Utf8Size(c.row), c.bytes);
}
}  // namespace
