#include "textfile/CStdioFile.h"

#include <gtest/gtest.h>

#include "sqlite/TempFolder.h"

TEST(CStdioFileTest, SeekAnswersTheNewPositionFromEachOrigin) {
    TempFolder folder;
    CStdioFile file;
    ASSERT_NE(file.Open(folder.Write("ten.bin", "0123456789").c_str(), CStdioFile::modeRead), FALSE);
    EXPECT_EQ(file.Seek(4, CStdioFile::begin), 4U);
    EXPECT_EQ(file.Seek(2, CStdioFile::current), 6U);
    EXPECT_EQ(file.Seek(-3, CStdioFile::end), 7U);
    char bytes[8] = {};
    EXPECT_EQ(file.Read(bytes, 8), 3U);
    EXPECT_STREQ(bytes, "789");
    EXPECT_EQ(file.Seek(-1, CStdioFile::begin), CStdioFile::kInvalidPosition);
    EXPECT_EQ(file.GetPosition(), 10U);
    file.Close();
    EXPECT_EQ(file.GetPosition(), CStdioFile::kInvalidPosition);
    EXPECT_EQ(file.Read(bytes, 1), 0U);
}

TEST(CStdioFileTest, CreationFlagsChooseAppendingPositionedWritesOrTruncation) {
    TempFolder folder;
    CStdioFile file;
    const WString path = folder.Write("data.bin", "old");
    ASSERT_NE(file.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::modeCreate | CStdioFile::modeNoTruncate),
              FALSE);
    EXPECT_EQ(file.GetPosition(), 3U);
    EXPECT_EQ(file.Write("+new", 4), 4U);
    ASSERT_NE(file.Open(path.c_str(), CStdioFile::modeReadWrite), FALSE);
    EXPECT_EQ(file.Write("OL", 2), 2U);
    file.Close();
    EXPECT_EQ(folder.Bytes("data.bin"), "OLd+new");
    ASSERT_NE(file.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::modeCreate), FALSE);
    file.Close();
    EXPECT_EQ(folder.Bytes("data.bin"), "");
}

TEST(CStdioFileTest, BufferReadStringKeepsTheLineFeedAndStopsAtTheSize) {
    TempFolder folder;
    CStdioFile file;
    ASSERT_NE(file.Open(folder.Write("wide.txt", std::string("a\0b\0\n\0c\0", 8)).c_str(), CStdioFile::modeRead),
              FALSE);
    OLECHAR buffer[3];
    for (const char16_t* expected : {u"ab", u"\n", u"c"}) {
        ASSERT_NE(file.ReadString(buffer, 3), nullptr);
        EXPECT_EQ(WString(buffer), WString(expected, expected + std::char_traits<char16_t>::length(expected)));
    }
    EXPECT_EQ(file.ReadString(buffer, 3), nullptr);
}
