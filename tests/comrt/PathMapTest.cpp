#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <comrt/comrt.h>

#include "ScratchPrefix.h"

namespace {
struct Mapped { BOOL ok; DWORD error; std::string host; };

Mapped Map(const char16_t* path, DWORD size = 4096) {
    std::string buffer(size, '\x7f');
    SetLastError(0);
    const BOOL ok = ComrtMapPathW(path, buffer.data(), size);
    const DWORD error = GetLastError();
    const size_t end = buffer.find('\0');
    return {ok, error, end == std::string::npos ? std::string() : buffer.substr(0, end)};
}

class PathMapTest : public ::testing::Test {
protected:
    ScratchPrefix prefix;
};

TEST_F(PathMapTest, MapsWindowsPathsByTable) {
    const std::string c = prefix.Path() + "/dosdevices/c:";
    struct Case { const char16_t* path; std::string host; BOOL ok; } cases[] = {
        {u"C:\\ProgramData\\Ombrel\\API\\DataBase\\API_db.db", c + "/ProgramData/Ombrel/API/DataBase/API_db.db", TRUE},
        {u"c:/a//b\\\\c", c + "/a/b/c", TRUE},
        {u"C:\\dir\\", c + "/dir/", TRUE},
        {u"C:\\", c + "/", TRUE},
        {u"C:", c + "/", TRUE},
        {u"C:foo", c + "/foo", TRUE},
        {u"C:\\a\\..\\..\\b\\.\\c", c + "/b/c", TRUE},
        {u"\\Windows\\x", c + "/Windows/x", TRUE},
        {u"\\\\?\\C:\\long", c + "/long", TRUE},
        {u"C:\\donn\u00e9es\\\U0001D11E.txt", c + "/donn\xc3\xa9" "es/\xf0\x9d\x84\x9e.txt", TRUE},
        {u"/tmp/x", "/tmp/x", TRUE},
        // A host path takes both separators too.
        {u"/tmp\\x//y\\", "/tmp/x//y/", TRUE},
        {u"rel\\dir//file", "rel/dir/file", TRUE},
        {u"d:\\x", prefix.Path() + "/dosdevices/d:/x", FALSE},
        {u"Z:", prefix.Path() + "/dosdevices/z:/", FALSE},
    };
    for (const Case& test : cases) {
        const Mapped mapped = Map(test.path);
        EXPECT_EQ(mapped.host, test.host) << mapped.host;
        EXPECT_EQ(mapped.ok, test.ok) << test.host;
        if (!test.ok) {
            EXPECT_EQ(mapped.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << test.host;
        }
    }
}

// C: is made as a link to drive_c; a drive link added later maps, its letter
// in either case.
TEST_F(PathMapTest, DriveCIsMadeAndAddedDriveLinksMap) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\ProgramData", nullptr));
    FILE* file = _wfopen(u"C:\\ProgramData\\API_db.db", u"wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix.Path() + "/drive_c/ProgramData/API_db.db"));
    struct stat info {};
    ASSERT_EQ(lstat((prefix.Path() + "/dosdevices/c:").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    const std::string target = prefix.Path() + "/elsewhere";
    ASSERT_EQ(mkdir(target.c_str(), 0777), 0);
    ASSERT_EQ(symlink(target.c_str(), (prefix.Path() + "/dosdevices/e:").c_str()), 0);
    EXPECT_TRUE(Map(u"E:\\x").ok);
    EXPECT_TRUE(Map(u"e:\\x").ok);
    EXPECT_EQ(GetFileAttributesW(u"E:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(PathMapTest, BufferMustHoldTheTerminator) {
    const std::string expected = prefix.Path() + "/dosdevices/c:/ab";
    const auto exact = static_cast<DWORD>(expected.size() + 1);
    EXPECT_TRUE(Map(u"C:\\ab", exact).ok);
    const Mapped small = Map(u"C:\\ab", exact - 1);
    EXPECT_FALSE(small.ok);
    EXPECT_EQ(small.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0);
    EXPECT_FALSE(ComrtMapPathW(nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PathMapTest, PrefixIsReadOnEveryCall) {
    const std::string first = Map(u"C:\\x").host;
    {
        ScratchPrefix other;
        EXPECT_EQ(Map(u"C:\\x").host, other.Path() + "/dosdevices/c:/x");
        EXPECT_TRUE(std::filesystem::is_directory(other.Path() + "/drive_c"));
    }
    EXPECT_EQ(Map(u"C:\\x").host, first);
}

TEST_F(PathMapTest, PrefixFallsBackToXdgDataHome) {
    unsetenv("COMRT_PREFIX");
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    setenv("XDG_DATA_HOME", prefix.Path().c_str(), 1);
    char buffer[4096];
    const DWORD length = ComrtGetPrefix(buffer, sizeof buffer);
    if (oldXdg != nullptr)
        setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    setenv("COMRT_PREFIX", prefix.Path().c_str(), 1);
    EXPECT_EQ(std::string(buffer, length), prefix.Path() + "/comrt");
    EXPECT_TRUE(std::filesystem::is_directory(prefix.Path() + "/comrt/drive_c"));
    EXPECT_EQ(ComrtGetPrefix(buffer, 3), 0u);
}
}  // namespace
