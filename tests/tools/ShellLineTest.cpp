#include <gtest/gtest.h>

#include "CaseName.h"
#include "tools/ShellLine.h"

namespace {

using Word = ShellLine::Word;

Word Text(std::string text) { return Word{std::move(text), false}; }
Word Ref(std::string name) { return Word{std::move(name), true}; }

struct SplitCase { const char* line; std::vector<Word> words; };

// Names each case by its line, in quotes: the test list shows it, and a line
// may end in a backslash.
void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class ShellLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(ShellLineSplit, GivesTheWordsAShellWould) {
    const ShellLine parsed = ShellLine::Parse(GetParam().line);
    ASSERT_TRUE(parsed.Ok()) << parsed.Error();
    EXPECT_EQ(parsed.Words(), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ShellLineSplit,
    testing::Values(
        SplitCase{"", {}}, SplitCase{"   \t ", {}}, SplitCase{"# a comment 'unclosed", {}},
        SplitCase{"   # indented comment", {}},
        SplitCase{"InsertDBRecord People id,name 1,Ann",
                  {Text("InsertDBRecord"), Text("People"), Text("id,name"), Text("1,Ann")}},
        SplitCase{"  a \t b  ", {Text("a"), Text("b")}}, SplitCase{"a\r", {Text("a")}},
        // Empty arguments and blanks inside quotes.
        SplitCase{"f '' \"\" 'x y'", {Text("f"), Text(""), Text(""), Text("x y")}},
        // A quote inside the other kind of quotes, and a doubled-up word.
        SplitCase{"f \"O'Brien\" 'say \"hi\"' it\\'s", {Text("f"), Text("O'Brien"), Text("say \"hi\""), Text("it's")}},
        SplitCase{"f a'b c'\"d\"", {Text("f"), Text("ab cd")}},
        // Backslashes stand for themselves, as in Windows paths typed unquoted or quoted.
        SplitCase{"Connect C:\\obz\\data\\ Demo", {Text("Connect"), Text("C:\\obz\\data\\"), Text("Demo")}},
        SplitCase{"f C:\\data\\x.db \\\\server\\share\\x.db",
                  {Text("f"), Text("C:\\data\\x.db"), Text("\\\\server\\share\\x.db")}},
        SplitCase{"f \"C:\\Program Files\\x.db\" 'C:\\My Data\\' \"C:\\My Data\\\\\"",
                  {Text("f"), Text("C:\\Program Files\\x.db"), Text("C:\\My Data\\"), Text("C:\\My Data\\")}},
        SplitCase{"f \\n \"\\t\" '\\n' x\\ a\\", {Text("f"), Text("\\n"), Text("\\t"), Text("\\n"), Text("x\\"), Text("a\\")}},
        // Before a quote, backslashes pair up and an odd one makes the quote text.
        SplitCase{"f it\\'s \"say \\\"hi\\\"\" \\\"a\\\"", {Text("f"), Text("it's"), Text("say \"hi\""), Text("\"a\"")}},
        SplitCase{"f a\\\\'b c' a\\\\\\'b \"x\\\\\\\"y\"", {Text("f"), Text("a\\b c"), Text("a\\'b"), Text("x\\\"y")}},
        // Inside double quotes only the double quote is escaped.
        SplitCase{"f \"it\\'s\"", {Text("f"), Text("it\\'s")}},
        // '#' past the start of a line is text: select lists and separators.
        SplitCase{
            "GetDBRecordSet People#*#name,city # not a comment",
            {Text("GetDBRecordSet"), Text("People#*#name,city"), Text("#"), Text("not"), Text("a"), Text("comment")}},
        // $'...' takes escapes for what a line cannot hold.
        SplitCase{"f $'a\\nb\\t\\x01\\x7fz' $'it\\'s \\\\ \\q' x$'\\r'",
                  {Text("f"), Text("a\nb\t\x01\x7fz"), Text("it's \\ \\q"), Text("x\r")}},
        // Only a whole unquoted $name is a reference.
        SplitCase{"f $rs $_x1", {Text("f"), Ref("rs"), Ref("_x1")}},
        SplitCase{"f '$rs' \"$rs\" \\$rs $ $1 $a-b a$b 100$",
                  {Text("f"), Text("$rs"), Text("$rs"), Text("\\$rs"), Text("$"), Text("$1"), Text("$a-b"),
                   Text("a$b"), Text("100$")}}),
    CaseName());

TEST(ShellLine, QuotesAnyTextSoThatItReadsBack) {
    const std::string texts[] = {"plain", "C:\\data\\", "", "a b", "O'Brien, Pat", "say \"hi\"", "it's \"x\\\"",
                                 "C:\\dir\\ 'q'", "#tag", "$rs", "$", "line\nbreak\r\n", "tab\there", "\x01'\\",
                                 "caf\xC3\xA9 \xE2\x82\xAC", "\\\\server\\share"};
    for (const std::string& text : texts) {
        const std::string word = ShellLine::Quote(text);
        const ShellLine parsed = ShellLine::Parse("f " + word + " g");
        ASSERT_TRUE(parsed.Ok()) << word << ": " << parsed.Error();
        EXPECT_EQ(parsed.Words(), (std::vector<Word>{Text("f"), Text(text), Text("g")})) << word;
    }
    EXPECT_EQ(ShellLine::Quote("C:\\x"), "C:\\x");
    EXPECT_EQ(ShellLine::Quote("a b"), "'a b'");
    EXPECT_EQ(ShellLine::Quote("a\nb"), "$'a\\nb'");
}

TEST(ShellLine, MalformedLinesGiveAnErrorAndNoWords) {
    // A folder ending in a backslash before the closing quote gets a hint.
    EXPECT_NE(ShellLine::Parse("Connect \"C:\\data\\\" Demo").Error().find("'C:\\dir\\'"), std::string::npos);
    for (const char* line : {"f 'open", "f \"open", "f \"a\\\"", "f 'a\\'b'c", "f $'a\\'"}) {
        const ShellLine parsed = ShellLine::Parse(line);
        EXPECT_FALSE(parsed.Ok()) << line;
        EXPECT_FALSE(parsed.Error().empty()) << line;
        EXPECT_TRUE(parsed.Words().empty()) << line;
    }
}

}  // namespace
