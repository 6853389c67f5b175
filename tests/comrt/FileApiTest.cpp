#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <comrt/comrt.h>

#include "ScratchPrefix.h"

namespace {
namespace fs = std::filesystem;

class FileApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"C:\\data", nullptr));
        prefix.WriteFile("drive_c/data/file.txt", "text");
    }
    std::string DriveC(const std::string& relative) const { return prefix.Path() + "/drive_c/" + relative; }

    ScratchPrefix prefix;
};

TEST_F(FileApiTest, AttributesTellFilesFoldersAndMissingLevels) {
    struct Case { const char16_t* path; DWORD attributes; DWORD error; } cases[] = {
        {u"C:\\data", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"c:/data/", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"C:\\", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"C:\\data\\file.txt", FILE_ATTRIBUTE_ARCHIVE, 0},
        {u"C:\\data\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"C:\\nofolder\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"C:\\data\\file.txt\\below", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"D:\\data", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& test : cases) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesW(test.path), test.attributes);
        if (test.error != 0) {
            EXPECT_EQ(GetLastError(), test.error);
        }
    }
}

TEST_F(FileApiTest, ReadOnlyFileIsMarked) {
    ASSERT_EQ(chmod(DriveC("data/file.txt").c_str(), 0444), 0);
    if (access(DriveC("data/file.txt").c_str(), W_OK) == 0) GTEST_SKIP() << "running with override rights";
    EXPECT_EQ(GetFileAttributesW(u"C:\\data\\file.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
}

// A folder exists once; a missing parent or drive creates nothing, and no
// drive link is made for a missing drive.
TEST_F(FileApiTest, CreateDirectoryReportsExistingAndMissingParentsAndDrives) {
    EXPECT_TRUE(CreateDirectoryW(u"C:\\data\\sub", nullptr));
    EXPECT_TRUE(fs::is_directory(DriveC("data/sub")));
    const std::pair<const char16_t*, DWORD> failures[] = {{u"C:\\data\\sub", ERROR_ALREADY_EXISTS},
                                                          {u"C:\\a\\b", ERROR_PATH_NOT_FOUND},
                                                          {u"D:\\", ERROR_PATH_NOT_FOUND},
                                                          {u"D:", ERROR_PATH_NOT_FOUND},
                                                          {u"d:/sub", ERROR_PATH_NOT_FOUND}};
    for (const auto& [path, error] : failures) {
        SetLastError(0);
        EXPECT_FALSE(CreateDirectoryW(path, nullptr));
        EXPECT_EQ(GetLastError(), error);
    }
    EXPECT_FALSE(fs::exists(DriveC("a")));
    std::vector<fs::path> links;
    for (const fs::directory_entry& entry : fs::directory_iterator(prefix.Path() + "/dosdevices"))
        links.push_back(entry.path().filename());
    EXPECT_EQ(links, std::vector<fs::path>{"c:"});
}

// DeleteFile takes files only; RemoveDirectory empty folders only.
TEST_F(FileApiTest, DeleteFileAndRemoveDirectory) {
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u"C:\\data"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\data"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(fs::is_directory(DriveC("data")));

    EXPECT_TRUE(DeleteFileW(u"C:\\data\\file.txt"));
    EXPECT_FALSE(fs::exists(DriveC("data/file.txt")));
    EXPECT_FALSE(DeleteFileW(u"C:\\data\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileW(u"D:\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    EXPECT_TRUE(RemoveDirectoryW(u"C:\\data"));
    EXPECT_FALSE(fs::exists(DriveC("data")));
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\data"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileApiTest, OpenMapsPathAndMode) {
    FILE* file = _wfopen(u"C:\\data\\new.txt", u"wt,ccs=UTF-8");
    ASSERT_NE(file, nullptr);
    std::fputs("line\n", file);
    std::fclose(file);
    EXPECT_EQ(prefix.ReadFile("drive_c/data/new.txt"), "line\n");

    errno = 0;
    EXPECT_EQ(_wfopen(u"D:\\data\\new.txt", u"w"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(fs::exists(prefix.Path() + "/dosdevices/d:"));
    EXPECT_EQ(_wfopen(u"C:\\data\\missing.txt", u"rb"), nullptr);
}
}  // namespace
