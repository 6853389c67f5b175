#include "tools/obz-import/ImportFileWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

CsvReader::Record Record(const std::vector<std::string>& values) {
    CsvReader::Record record;
    for (const std::string& value : values) {
        record.text += value;
        record.ends.push_back(record.text.size());
    }
    return record;
}

// What the writer puts into a file, after the mark.
std::string Written(const std::vector<CsvReader::Record>& records, bool& expressions) {
    std::FILE* out = std::tmpfile();
    ImportFileWriter writer(out);
    for (const CsvReader::Record& record : records) writer.Write(record);
    EXPECT_TRUE(writer.Finish());
    expressions = writer.WroteExpression();
    std::rewind(out);
    std::string bytes;
    for (int c; (c = std::fgetc(out)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(out);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    return bytes.substr(3);
}

}  // namespace

TEST(ImportFileWriter, WritesQuotedLiteralsWithoutSeparatorsOrLineFeedsInside) {
    bool expressions = true;
    EXPECT_EQ(Written({Record({"a", "it's", ""}), Record({"\xE2\x82\xAC,#;"})}, expressions),
              "'a'\x1F'it''s'\x1F''\x1E\n'\xE2\x82\xAC,#;'\x1E\n");
    EXPECT_FALSE(expressions);
    // A line feed would be dropped with the file's own line breaks.
    EXPECT_EQ(Written({Record({"x\r\ny\n", "\r", "u\x1Fr\x1E"})}, expressions),
              "'x\r'||char(10)||'y'||char(10)||''\x1F'\r'\x1F'u'||char(31)||'r'||char(30)||''\x1E\n");
    EXPECT_TRUE(expressions);
}

TEST(ImportFileWriter, ReportsAFailedWrite) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    ImportFileWriter writer(full);
    writer.Write(Record({std::string(400000, 'a')}));
    EXPECT_FALSE(writer.Finish());
    std::fclose(full);
}
