// Connect: outcomes, the version line, and how the data folder is found once.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
const WString kVersionLine = u"ZeveVevuVAD Connected, Version = 1.0.0.31";
const WString kDefaultFolder = u"C:\\ProgramData\\Ombrel\\API\\DataBase\\";

class DatabaseFacadeConnectTest : public FacadeFixture {
protected:
    LONG Connect(const WString& host, const WString& system = u"Sys") {
        return facade->Connect(host, system, u"1.0.0.31");
    }
    static void Put(const WString& key, const WString& value) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(handle, u"Ombrel", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))),
                  ERROR_SUCCESS);
        RegCloseKey(handle);
    }
};

TEST_F(DatabaseFacadeConnectTest, OutcomeFollowsTheConnectionStateAndEveryCallLogsTheVersion) {
    EXPECT_EQ(Connect(u""), 1);
    EXPECT_EQ(Connect(u""), 2);
    facade->Disconnect();
    EXPECT_EQ(facade->ConnectionState(), 0);
    EXPECT_EQ(Connect(u""), 1);
    EXPECT_EQ(log.lines, (std::vector<WString>{kVersionLine, kVersionLine, kVersionLine}));
    EXPECT_EQ(facade->DataFolder(), kDefaultFolder);  // nothing found: the default stays
}

TEST_F(DatabaseFacadeConnectTest, FindsTheDataFolderFromHostAddressOrRegistry) {
    struct Case {
        const char* what;
        WString host;
        WString machineValue;  // under SOFTWARE\VANTORIS\<system>; empty: not written
        WString wowValue;      // under the WOW6432Node twin
        WString dataFolder;    // expected; the default when nothing is found
    } const cases[] = {
        {"7 characters verbatim", u"D:\\App\\", u"C:\\Reg\\", u"", u"D:\\App\\Data\\API\\"},
        {"6 characters, no backslash added", u"D:\\App", u"", u"", u"D:\\AppData\\API\\"},
        {"5 characters go to the registry", u"local", u"C:\\Program Files\\Prod\\bin\\run.exe", u"",
         u"C:\\Program Files\\Prod\\bin\\Data\\API\\"},
        {"empty host, folder value", u"", u"C:\\Prod\\", u"", u"C:\\Prod\\Data\\API\\"},
        {"cut after the last backslash", u"", u"C:\\Prod", u"", u"C:\\Data\\API\\"},
        {"no backslash gives nothing", u"", u"Prod", u"", kDefaultFolder},
        {"machine value wins over the twin", u"", u"C:\\A\\", u"C:\\B\\", u"C:\\A\\Data\\API\\"},
        {"twin when the machine value is missing", u"", u"", u"C:\\B\\x", u"C:\\B\\Data\\API\\"},
        {"nothing anywhere", u"abc", u"", u"", kDefaultFolder},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WString system = u"Sys" + Wide(std::to_string(n++));
        if (!c.machineValue.empty()) Put(u"SOFTWARE\\VANTORIS\\" + system, c.machineValue);
        if (!c.wowValue.empty()) Put(u"SOFTWARE\\WOW6432Node\\VANTORIS\\" + system, c.wowValue);
        MakeFacade();
        log.lines.clear();
        EXPECT_EQ(Connect(c.host, system), 1);
        EXPECT_EQ(facade->DataFolder(), c.dataFolder);
        std::vector<WString> expected{kVersionLine};
        if (c.dataFolder != kDefaultFolder) expected.push_back(c.dataFolder);  // logged bare
        EXPECT_EQ(log.lines, expected);
    }
}

TEST_F(DatabaseFacadeConnectTest, FolderIsFoundOnceAndTriedAgainUntilFound) {
    Connect(u"abc");  // nothing found
    Put(u"SOFTWARE\\VANTORIS\\Sys", u"C:\\Prod\\");
    Connect(u"abc");
    EXPECT_EQ(facade->DataFolder(), u"C:\\Prod\\Data\\API\\");
    log.lines.clear();
    Connect(u"E:\\Other\\");
    Put(u"SOFTWARE\\VANTORIS\\Sys", u"C:\\Else\\");
    Connect(u"");
    EXPECT_EQ(facade->DataFolder(), u"C:\\Prod\\Data\\API\\");
    EXPECT_EQ(log.lines, (std::vector<WString>{kVersionLine, kVersionLine}));
}

TEST_F(DatabaseFacadeConnectTest, FixedCurrentFileStaysUntilAFileIsNamedAgain) {
    // D: links to a folder of the test, so the new data folder is usable.
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(dir / "ddrive");
    fs::create_directory_symlink(dir / "ddrive", prefix / "dosdevices" / "d:");

    facade->InsertDBRecord(u"T", u"k", u"1");  // fixes the path (the file is missing)
    const WString fixed = kDefaultFolder + u"API_db.db";
    EXPECT_EQ(facade->CurrentPath(), fixed);
    Connect(u"D:\\App\\");
    EXPECT_EQ(facade->DataFolder(), u"D:\\App\\Data\\API\\");
    EXPECT_EQ(facade->CurrentPath(), fixed);

    EXPECT_EQ(facade->CreateDbFile(u"a", u"T", u"k"), 1);
    EXPECT_EQ(facade->CurrentPath(), u"D:\\App\\Data\\API\\a.db");
    EXPECT_TRUE(fs::exists(dir / "ddrive/App/Data/API/a.db"));
}
}  // namespace
