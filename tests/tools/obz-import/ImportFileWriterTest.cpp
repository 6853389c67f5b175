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
std::string Written(const std::vector<CsvReader::Record>& records) {
    std::FILE* out = std::tmpfile();
    ImportFileWriter writer(out);
    size_t refused = 0;
    for (const CsvReader::Record& record : records) EXPECT_TRUE(writer.Write(record, refused));
    EXPECT_TRUE(writer.Finish());
    std::rewind(out);
    std::string bytes;
    for (int c; (c = std::fgetc(out)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(out);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    return bytes.substr(3);
}

}  // namespace

TEST(ImportFileWriter, WritesQuotedLiteralsWithoutSeparatorsOrLineFeedsInside) {
    EXPECT_EQ(Written({Record({"a", "it's", ""}), Record({"\xE2\x82\xAC,#;"})}),
              "'a'\x1F'it''s'\x1F''\x1E\n'\xE2\x82\xAC,#;'\x1E\n");
    // A line feed would be dropped with the file's own line breaks.
    EXPECT_EQ(Written({Record({"x\r\ny\n", "\r", "u\x1Fr\x1E"})}),
              "'x\r'||char(10)||'y'||char(10)||''\x1F'\r'\x1F'u'||char(31)||'r'||char(30)||''\x1E\n");
}

TEST(ImportFileWriter, RefusesAValueWithMoreLineBreaksThanAJoinTakes) {
    std::FILE* out = std::tmpfile();
    ImportFileWriter writer(out);
    size_t refused = 9;
    const std::string most(ImportFileWriter::kMostJoined, '\n');
    EXPECT_TRUE(writer.Write(Record({"a", most}), refused));
    EXPECT_FALSE(writer.Write(Record({"b", "c", most + "\x1F"}), refused));
    EXPECT_EQ(refused, 2u);
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(std::ftell(out), static_cast<long>(3 + 3 + 1 + 2 + 14 * most.size() + 2));
    std::fclose(out);
}

TEST(ImportFileWriter, ReportsAFailedWrite) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    ImportFileWriter writer(full);
    size_t refused = 0;
    writer.Write(Record({std::string(400000, 'a')}), refused);
    EXPECT_FALSE(writer.Finish());
    std::fclose(full);
}
