// The reader and its decoder over every encoding and the RFC 4180 cases,
// with decoding blocks of every size from the smallest up, so that a record,
// a quote pair, a CR LF or a character split between blocks reads the same.
#include "tools/obz-import/CsvReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> records;  // values joined by "|", then " @line", then " !problem" when bad
    char delimiter = ',';
    bool quotes = true;
};

std::string Utf16(const std::u16string& text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

// Every record of `bytes`, read with decoding blocks of `block` bytes.
std::vector<std::string> ReadAll(const Case& c, size_t block) {
    std::FILE* in = fmemopen(const_cast<char*>(c.bytes.data()), c.bytes.size(), "rb");
    if (c.bytes.empty()) in = std::tmpfile();
    TextDecoder decoder(in, block);
    CsvReader reader(decoder, c.delimiter, c.quotes);
    CsvReader::Record record;
    std::vector<std::string> records;
    while (reader.Next(record)) {
        std::string text;
        for (size_t i = 0; i < record.Count(); ++i) text += (i > 0 ? "|" : "") + std::string(record.Value(i));
        text += " @" + std::to_string(record.line);
        if (!record.problem.empty()) text += " !" + record.problem;
        records.push_back(text);
    }
    std::fclose(in);
    return records;
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"plain", "a,b,c\r\n1,2,3\r\n", {"a|b|c @1", "1|2|3 @2"}},
        {"line ends of every kind, blank lines skipped", "a\n\r\nb\rc\r\r\nd", {"a @1", "b @3", "c @4", "d @6"}},
        {"empty values and a delimiter at the end", ",a,,\n,", {"|a|| @1", "| @2"}},
        {"quoted: delimiters, doubled quotes, line breaks",
         "\"a,b\",\"say \"\"hi\"\"\",\"x\r\ny\nz\"\nnext,\"\"\n",
         {"a,b|say \"hi\"|x\r\ny\nz @1", "next| @4"}},
        {"a quote inside an unquoted value is a character", "5\" disk, a\"b\n", {"5\" disk| a\"b @1"}},
        {"nothing trimmed", " a , \"b\" \n", {" a | \"b\"  @1"}},
        {"text after the closing quote", "\"a\"b,c\nd,e\n",
         {"ab|c @1 !value 1 has text after its closing quote", "d|e @2"}},
        {"a quote never closed", "a,\"b\nc\n", {"a|b\nc\n @1 !value 2 opens a quote that the file never closes"}},
        {"quotes off", "\"a,b\"\n", {"\"a|b\" @1"}, ',', false},
        {"tab delimiter", "a\tb,c\n", {"a|b,c @1"}, '\t'},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" "caf\xC3\xA9,\xF0\x9F\x98\x80\n", {"caf\xC3\xA9|\xF0\x9F\x98\x80 @1"}},
        {"a mark elsewhere is text", "\xC3\xA9\xEF\xBB\xBF\n", {"\xC3\xA9\xEF\xBB\xBF @1"}},
        {"UTF-16 little-endian", Utf16(u"\u00e9,\U0001F600\r\nb", true), {"\xC3\xA9|\xF0\x9F\x98\x80 @1", "b @2"}},
        {"UTF-16 big-endian", Utf16(u"x,\u20ac\n", false), {"x|\xE2\x82\xAC @1"}},
        {"invalid UTF-8: a lone continuation byte", "a,b\x80\nc\n", {"a|b\xFF @1 !value 2 is not valid UTF-8", "c @2"}},
        {"invalid UTF-8: overlong, surrogate, cut at the end", "\xC0\xAF,\xED\xA0\x80,\xE2\x82",
         {"\xFF\xFF|\xFF|\xFF @1 !value 1 is not valid UTF-8"}},
        {"a lone UTF-16 surrogate", Utf16(u"a\xD800,b\n", true), {"a\xFF|b @1 !value 1 is not valid UTF-16"}},
        {"a zero character", std::string("a,\0b\n", 5), {std::string("a|\0b @1 !value 2 holds a zero character", 39)}},
        {"empty file", "", {}},
    };
    return cases;
}

TEST(CsvReader, ReadsEachCaseAlikeInBlocksOfAnySize) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        for (const size_t block : {8, 9, 10, 11, 13, 64, 256 * 1024}) {
            SCOPED_TRACE(block);
            EXPECT_EQ(ReadAll(c, block), c.records);
        }
    }
}

}  // namespace
