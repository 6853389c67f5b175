#include "textfile/CStdioFileEx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sqlite/TempFolder.h"

namespace {

// The flags of the bulk import: read access, text type, share-deny-none.
constexpr UINT kImportFlags = 0x4040;

std::string Utf16(const std::u16string& text, bool mark = false) {
    std::string bytes = mark ? std::string("\xFF\xFE") : std::string();
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

WString W(const std::u16string& text) { return WString(text.begin(), text.end()); }

// 8-bit text follows the system's ANSI code page: UTF-8 under the Linux
// runtime, 1252 under Wine and most Western Windows systems. The 8-bit bytes
// a case writes or expects, and the text that 8-bit bytes read as, come from
// the system conversion in that code page, so each case holds on either.
std::string Ansi(const std::u16string& text) {
    const WString wide = W(text);
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.data(), length, bytes.data(), size, nullptr, nullptr);
    }
    return bytes;
}

std::u16string FromAnsi(const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    WString wide(static_cast<size_t>(size), OLECHAR(0));
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), size);
    }
    return std::u16string(wide.begin(), wide.end());
}

class CStdioFileExTest : public ::testing::Test {
protected:
    // Reads every line; checks that the end leaves the output string empty.
    std::vector<WString> ReadAll() {
        std::vector<WString> lines;
        WString line = OLESTR("stale");
        while (m_file.ReadString(line)) {
            lines.push_back(line);
        }
        EXPECT_TRUE(line.empty());
        EXPECT_FALSE(m_file.ReadString(line));
        return lines;
    }

    TempFolder m_folder;
    CStdioFileEx m_file;
};

struct ReadCase { const char* name; std::string bytes; bool unicode; std::vector<std::u16string> lines; };

} // namespace

TEST_F(CStdioFileExTest, ReadsLinesOfEachEncoding) {
    const std::vector<ReadCase> cases = {
        {"utf16 with mark", Utf16(u"one\r\nt\u00e9\U0001F600o\n\nlast", true), true,
         {u"one", u"t\u00e9\U0001F600o", u"", u"last"}},
        {"utf16 odd last byte dropped", Utf16(u"ab", true) + "c", true, {u"ab"}},
        {"utf16 without mark reads as 8-bit", Utf16(u"ab\n"), false, {u"a", u""}},
        {"big-endian mark reads as 8-bit", "\xFE\xFFxy", false, {FromAnsi("\xFE\xFFxy")}},
        {"utf-8 mark reads as UTF-8", "\xEF\xBB\xBFh\xC3\xA9\r\n\xE2\x82\xAC", false, {u"h\u00e9", u"\u20ac"}},
        {"utf-8 mark alone", "\xEF\xBB\xBF", false, {}},
        {"8-bit beyond ASCII", Ansi(u"h\u00e9\u20ac\r\n"), false, {u"h\u00e9\u20ac"}},
        {"empty file", "", false, {}},
        {"one byte that starts a mark", "\xFF", false, {FromAnsi("\xFF")}},
        {"only one carriage return dropped", "a\r\r\n", false, {u"a\r"}},
        {"lone carriage return stays", "a\rb\r\n\r\n", false, {u"a\rb", u""}},
        {"8-bit line ends at a zero byte", std::string("ab\0cd\nef", 8), false, {u"ab", u"ef"}},
        {"utf16 keeps zero units", Utf16(std::u16string(u"a\0b\n", 4), true), true, {std::u16string(u"a\0b", 3)}},
        {"utf16 units with a byte 0A", Utf16(u"\u010A\u0A41x\n\u0A0Ay", true), true, {u"\u010A\u0A41x", u"\u0A0Ay"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WString path = m_folder.Write("case.txt", c.bytes);
        ASSERT_NE(m_file.Open(path.c_str(), kImportFlags), FALSE);
        EXPECT_EQ(m_file.IsUnicode(), c.unicode);
        EXPECT_EQ(m_file.GetOpenFlags(), 0x8040U);
        std::vector<WString> expected;
        for (const std::u16string& line : c.lines) {
            expected.push_back(W(line));
        }
        EXPECT_EQ(ReadAll(), expected);
        m_file.Close();
    }
}

TEST_F(CStdioFileExTest, LongLinesComeWholeInOneCall) {
    // Lines within, across and beyond the blocks the lines are read from.
    for (const size_t length : {4095U, 4096U, 4097U, 32767U, 32768U, 70000U}) {
        SCOPED_TRACE(length);
        std::u16string wide;
        for (size_t i = 0; i < length; ++i) {
            wide.push_back(static_cast<char16_t>(u'a' + i % 26));
        }
        const std::string narrow(wide.begin(), wide.end());
        for (const std::string& bytes : {Utf16(wide + u"\r\nnext", true), narrow + "\r\nnext"}) {
            const WString path = m_folder.Write("long.txt", bytes);
            ASSERT_NE(m_file.Open(path.c_str(), kImportFlags), FALSE);
            EXPECT_EQ(ReadAll(), (std::vector<WString>{W(wide), OLESTR("next")}));
            m_file.Close();
        }
    }
}

TEST_F(CStdioFileExTest, SeekToStartSkipsTheMarkAgain) {
    const WString path = m_folder.Write("wide.txt", Utf16(u"first\nsecond\n", true));
    ASSERT_NE(m_file.Open(path.c_str(), kImportFlags), FALSE);
    WString line;
    ASSERT_TRUE(m_file.ReadString(line));
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(m_file.Seek(0, CStdioFile::begin), 0U);
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(line, OLESTR("first"));
    // At-start away from position 0 skips nothing.
    EXPECT_EQ(m_file.Seek(2 + 2 * 6, CStdioFile::begin), 14U);
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(line, OLESTR("second"));
}

// After a line the position, a byte read, a relative seek and a write all
// go on right after it, whatever the reader took from the file ahead.
TEST_F(CStdioFileExTest, OtherAccessContinuesAfterTheLastLine) {
    const WString path = m_folder.Write("mixed.txt", "ab\ncdef\ngh\n");
    ASSERT_NE(m_file.Open(path.c_str(), CStdioFile::modeReadWrite), FALSE);
    WString line;
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(m_file.GetPosition(), 3U);
    char byte = 0;
    EXPECT_EQ(m_file.Read(&byte, 1), 1U);
    EXPECT_EQ(byte, 'c');
    EXPECT_EQ(m_file.Seek(1, CStdioFile::current), 5U);
    m_file.WriteString(OLESTR("X"));
    // Standard I/O asks for a seek between a write and a read.
    EXPECT_EQ(m_file.Seek(0, CStdioFile::current), 6U);
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(line, OLESTR("f"));
    ASSERT_TRUE(m_file.ReadString(line));
    EXPECT_EQ(line, OLESTR("gh"));
    m_file.Close();
    EXPECT_EQ(m_folder.Bytes("mixed.txt"), "ab\ncdXf\ngh\n");
}

TEST_F(CStdioFileExTest, ExplicitUtf8CodePageDropsThreeLeadingBytes) {
    m_file.SetCodePage(65001);
    for (const auto& [bytes, first] : {std::pair{"\xEF\xBB\xBFmark\n", u"mark"}, std::pair{"abcdef\n", u"def"}}) {
        const WString path = m_folder.Write("utf8.txt", bytes);
        ASSERT_NE(m_file.Open(path.c_str(), kImportFlags), FALSE);
        EXPECT_EQ(ReadAll(), std::vector<WString>{W(first)});
        m_file.Close();
    }
}

TEST_F(CStdioFileExTest, OnlyReadAccessDetectsTheEncoding) {
    const WString path = m_folder.Write("wide.txt", Utf16(u"x", true));
    struct { UINT flags; bool unicode; } const cases[] = {
        {CStdioFile::modeWrite, false},
        {CStdioFile::modeReadWrite, true},
        {CStdioFile::modeWrite | CStdioFileEx::modeWriteUnicode, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_NE(m_file.Open(path.c_str(), c.flags), FALSE);
        EXPECT_EQ(m_file.IsUnicode(), c.unicode);
        EXPECT_EQ(m_file.GetPosition(), 0U);
        m_file.Close();
    }
    EXPECT_EQ(m_folder.Bytes("wide.txt"), Utf16(u"x", true));
}

TEST_F(CStdioFileExTest, FileThatCannotBeOpenedGivesZero) {
    EXPECT_EQ(m_file.Open(m_folder.Path("missing.txt").c_str(), kImportFlags), FALSE);
    EXPECT_EQ(m_file.Open(OLESTR("Q:\\nowhere\\missing.txt"), kImportFlags), FALSE);
    WString line = OLESTR("stale");
    EXPECT_FALSE(m_file.ReadString(line));
    EXPECT_TRUE(line.empty());
}

TEST_F(CStdioFileExTest, WritesAMarkAtEveryWriteAtPositionZero) {
    const UINT create = CStdioFile::modeWrite | CStdioFile::modeCreate;
    const WString path = m_folder.Path("out.txt");

    ASSERT_NE(m_file.Open(path.c_str(), create | CStdioFileEx::modeWriteUnicode), FALSE);
    m_file.WriteString(OLESTR("ab\r\n"));
    m_file.WriteString(OLESTR("c"));
    m_file.Seek(0, CStdioFile::begin);
    m_file.WriteString(OLESTR("Z"));
    m_file.WriteString(nullptr);
    m_file.Close();
    EXPECT_EQ(m_folder.Bytes("out.txt"), Utf16(u"Zb\r\nc", true));

    ASSERT_NE(m_file.Open(path.c_str(), create), FALSE);
    m_file.WriteString(OLESTR("h\u00e9"));
    m_file.Close();
    EXPECT_EQ(m_folder.Bytes("out.txt"), Ansi(u"h\u00e9"));

    m_file.SetCodePage(65001);
    ASSERT_NE(m_file.Open(path.c_str(), create), FALSE);
    m_file.WriteString(OLESTR("a"));
    m_file.WriteString(OLESTR("b"));
    m_file.Close();
    EXPECT_EQ(m_folder.Bytes("out.txt"), "\xEF\xBB\xBF" "ab");
}

TEST_F(CStdioFileExTest, WrittenLongTextReadsBack) {
    const WString text(6000, OLECHAR(0x00e9));
    for (const UINT unicode : {0U, CStdioFileEx::modeWriteUnicode}) {
        SCOPED_TRACE(unicode);
        const WString path = m_folder.Path("long.txt");
        ASSERT_NE(m_file.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::modeCreate | unicode), FALSE);
        m_file.WriteString((text + OLESTR("\nend")).c_str());
        m_file.Close();
        const std::u16string written = std::u16string(6000, u'\u00e9') + u"\nend";
        EXPECT_EQ(m_folder.Bytes("long.txt"), unicode != 0 ? Utf16(written, true) : Ansi(written));
        ASSERT_NE(m_file.Open(path.c_str(), kImportFlags), FALSE);
        EXPECT_EQ(ReadAll(), (std::vector<WString>{text, OLESTR("end")}));
        m_file.Close();
    }
}

TEST(CStdioFileExConversionTest, NullAndSizeRules) {
    OLECHAR wide[6];
    char narrow[6];
    std::fill(std::begin(wide), std::end(wide), OLECHAR(0xAAAA));
    EXPECT_EQ(CStdioFileEx::MultiByteToWide(nullptr, wide, 6, -1), 0);
    EXPECT_EQ(CStdioFileEx::MultiByteToWide("hello", wide, 3, -1), 0);  // too small
    EXPECT_EQ(CStdioFileEx::MultiByteToWide("h\xC3\xA9", wide, 6, 65001), 2);
    EXPECT_EQ(WString(wide, 6), WString(OLESTR("h\u00e9\0\0\0\0"), 6));
    EXPECT_EQ(CStdioFileEx::WideToMultiByte(nullptr, narrow, 6, -1, '#'), 0);
    EXPECT_EQ(CStdioFileEx::WideToMultiByte(OLESTR("hello"), narrow, 3, -1, '#'), 0);
    const std::string ansi = Ansi(u"h\u00e9");
    EXPECT_EQ(CStdioFileEx::WideToMultiByte(OLESTR("h\u00e9"), narrow, 6, -1, '#'), static_cast<int>(ansi.size()));
    EXPECT_EQ(std::string(narrow, 6), ansi + std::string(6 - ansi.size(), '\0'));
    EXPECT_EQ(CStdioFileEx::WideToMultiByte(OLESTR("h\u00e9"), narrow, 6, 65001, '#'), 3);
    EXPECT_EQ(std::string(narrow, 6), std::string("h\xC3\xA9\0\0\0", 6));
    // Lengths count the terminator.
    EXPECT_EQ(CStdioFileEx::GetWideLength(ansi.c_str(), -1), 3);
    EXPECT_EQ(CStdioFileEx::GetWideLength("h\xC3\xA9\xF0\x9F\x98\x80", 65001), 5);
    EXPECT_EQ(CStdioFileEx::GetMultiByteLength(OLESTR("h\u00e9\U0001F600"), 65001), 8);
}
