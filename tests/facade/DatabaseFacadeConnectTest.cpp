// Connect: outcomes, the version line, and how the data folder is found once.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
const WString kVersionLine = OLESTR("ZeveVevuVAD Connected, Version = 1.0.0.31");

class DatabaseFacadeConnectTest : public FacadeFixture {
protected:
    LONG Connect(const WString& host, const WString& system = OLESTR("Sys")) {
        return facade->Connect(host, system, OLESTR("1.0.0.31"));
    }
    static void Put(const WString& key, const WString& value) {
        PutRegistryText(HKEY_LOCAL_MACHINE, key, OLESTR("Ombrel"), value);
    }
};

TEST_F(DatabaseFacadeConnectTest, OutcomeFollowsTheConnectionStateAndEveryCallLogsTheVersion) {
    EXPECT_EQ(Connect(OLESTR("")), 1);
    EXPECT_EQ(Connect(OLESTR("")), 2);
    facade->Disconnect();
    EXPECT_EQ(facade->ConnectionState(), 0);
    EXPECT_EQ(Connect(OLESTR("")), 1);
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
        {"7 characters verbatim", OLESTR("D:\\App\\"), OLESTR("C:\\Reg\\"), OLESTR(""), OLESTR("D:\\App\\Data\\API\\")},
        {"6 characters, no backslash added", OLESTR("D:\\App"), OLESTR(""), OLESTR(""), OLESTR("D:\\AppData\\API\\")},
        {"5 characters go to the registry", OLESTR("local"), OLESTR("C:\\Program Files\\Prod\\bin\\run.exe"),
         OLESTR(""), OLESTR("C:\\Program Files\\Prod\\bin\\Data\\API\\")},
        {"empty host, folder value", OLESTR(""), OLESTR("C:\\Prod\\"), OLESTR(""), OLESTR("C:\\Prod\\Data\\API\\")},
        {"cut after the last backslash", OLESTR(""), OLESTR("C:\\Prod"), OLESTR(""), OLESTR("C:\\Data\\API\\")},
        {"no backslash gives nothing", OLESTR(""), OLESTR("Prod"), OLESTR(""), kDefaultFolder},
        {"machine value wins over the twin", OLESTR(""), OLESTR("C:\\A\\"), OLESTR("C:\\B\\"),
         OLESTR("C:\\A\\Data\\API\\")},
        {"twin when the machine value is missing", OLESTR(""), OLESTR(""), OLESTR("C:\\B\\x"),
         OLESTR("C:\\B\\Data\\API\\")},
        {"nothing anywhere", OLESTR("abc"), OLESTR(""), OLESTR(""), kDefaultFolder},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WString system = OLESTR("Sys") + Wide(std::to_string(n++));
        if (!c.machineValue.empty()) Put(OLESTR("SOFTWARE\\VANTORIS\\") + system, c.machineValue);
        if (!c.wowValue.empty()) Put(OLESTR("SOFTWARE\\WOW6432Node\\VANTORIS\\") + system, c.wowValue);
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
    Connect(OLESTR("abc"));  // nothing found
    Put(OLESTR("SOFTWARE\\VANTORIS\\Sys"), OLESTR("C:\\Prod\\"));
    Connect(OLESTR("abc"));
    EXPECT_EQ(facade->DataFolder(), OLESTR("C:\\Prod\\Data\\API\\"));
    log.lines.clear();
    Connect(OLESTR("E:\\Other\\"));
    Put(OLESTR("SOFTWARE\\VANTORIS\\Sys"), OLESTR("C:\\Else\\"));
    Connect(OLESTR(""));
    EXPECT_EQ(facade->DataFolder(), OLESTR("C:\\Prod\\Data\\API\\"));
    EXPECT_EQ(log.lines, (std::vector<WString>{kVersionLine, kVersionLine}));
}

TEST_F(DatabaseFacadeConnectTest, FixedCurrentFileStaysUntilAFileIsNamedAgain) {
    facade->InsertDBRecord(OLESTR("T"), OLESTR("k"), OLESTR("1"));  // fixes the path (the file is missing)
    const WString fixed = kDefaultFolder + OLESTR("API_db.db");
    EXPECT_EQ(facade->CurrentPath(), fixed);
    // A host address inside the test folder, so the new data folder is usable.
#ifdef _WIN32
    const WString host = HostFile("ddrive") + OLESTR("\\App\\");
#else
    // D: links to the test folder through the runtime's drive links.
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(dir / "ddrive");
    fs::create_directory_symlink(dir / "ddrive", prefix / "dosdevices" / "d:");
    const WString host = OLESTR("D:\\App\\");
#endif
    const WString dataFolder = host + OLESTR("Data\\API\\");
    Connect(host);
    EXPECT_EQ(facade->DataFolder(), dataFolder);
    EXPECT_EQ(facade->CurrentPath(), fixed);

    EXPECT_EQ(facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k")), 1);
    EXPECT_EQ(facade->CurrentPath(), dataFolder + OLESTR("a.db"));
    EXPECT_TRUE(fs::exists(dir / "ddrive" / "App" / "Data" / "API" / "a.db"));
}
}  // namespace
