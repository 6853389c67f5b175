#include "FacadeFixture.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

STDMETHODIMP FacadeFixture::RecordingSet::QueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IRecordSet))
        *ppv = static_cast<IRecordSet*>(this);
    else if (rowsInterface && IsEqualIID(iid, IID_IResultRows))
        *ppv = static_cast<IResultRows*>(this);
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
}

HRESULT FacadeFixture::RecordingSet::Take(WString row) {
    if (rows.size() >= rowsTaken) return E_OUTOFMEMORY;
    rows.push_back(std::move(row));
    return S_OK;
}

STDMETHODIMP FacadeFixture::RecordingSet::AppendRow(const OLECHAR* const* values, UINT count) noexcept {
    WString row;
    for (UINT i = 0; i < count; ++i) {
        if (i > 0) row += OLESTR("|#|");
        if (values[i] != nullptr) row += values[i];
    }
    return Take(std::move(row));
}


fs::path TestFolderName(const std::string& kind) {
    // One token per run keeps the folders of parallel runs apart.
    static const std::string token = std::to_string(std::random_device{}());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return fs::temp_directory_path() /
           ("obz-" + kind + "-" + token + "-" + info->test_suite_name() + "-" + info->name());
}

#ifdef _WIN32
fs::path DefaultDataFolderOf(const fs::path&) { return fs::path(L"C:\\ProgramData\\Ombrel\\API\\DataBase"); }

// Wine's ntdll exports its version; Windows' does not.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#else
fs::path DefaultDataFolderOf(const fs::path& prefix) { return prefix / "drive_c/ProgramData/Ombrel/API/DataBase"; }
#endif

void FacadeFixture::SetUp() {
    dir = TestFolderName("facade");
    prefix = dir / "prefix";
#ifdef _WIN32
    if (!UnderWine()) GTEST_SKIP() << "clears C:\\ProgramData\\Ombrel and HKLM\\SOFTWARE\\VANTORIS: Wine only";
    // The state that a fresh prefix gives each test on Linux.
    std::error_code ignored;
    fs::remove_all(DefaultDataFolder(), ignored);
    // Both keys as the 64-bit view names them, from either bitness.
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &software) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(software, L"VANTORIS");
        RegDeleteTreeW(software, L"WOW6432Node\\VANTORIS");
        RegCloseKey(software);
    }
#endif
    fs::remove_all(dir);
    fs::create_directories(dir);
#ifndef _WIN32
    setenv("COMRT_PREFIX", prefix.c_str(), 1);
#endif
    MakeFacade();
}

void FacadeFixture::TearDown() {
    facade.reset();
    fs::remove_all(dir);
}

FacadeFixture::Holder::Holder(const fs::path& file, const char* sql) {
    EXPECT_EQ(sqlite3_open(Utf8Path(file).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

FacadeFixture::Holder::~Holder() {
    sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void FacadeFixture::MakeFacade() {
    facade.reset();
    facade = std::make_unique<DatabaseFacade>(log);
    facade->SetPause([this](DWORD ms) { pauses.push_back(ms); });
}

fs::path FacadeFixture::DefaultDataFolder() const { return DefaultDataFolderOf(prefix); }

#ifdef _WIN32
WString FacadeFixture::HostFile(const std::string& name) const { return (dir / name).make_preferred().wstring(); }
#else
WString FacadeFixture::HostFile(const std::string& name) const { return Wide((dir / name).string()); }
#endif

void FacadeFixture::PutRegistryText(HKEY root, const WString& key, const WString& name, const WString& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

std::string FacadeFixture::Utf8Path(const fs::path& file) {
    const std::u8string text = file.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string> FacadeFixture::Rows(const fs::path& file, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Utf8Path(file).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << file;
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row += (i ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : std::string("~"));
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

std::string FacadeFixture::Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

FacadeFixture::QueryResult FacadeFixture::Query(const WString& table, const WString& conditionCol,
                                                const WString& conditionVal, size_t rowsTaken, bool rowsInterface) {
    RecordingSet set;
    set.rowsTaken = rowsTaken;
    set.rowsInterface = rowsInterface;
    QueryResult result;
    result.succeeded = facade->GetDBRecordSet(table, conditionCol, conditionVal, &set);
    result.names = set.names;
    result.rows = set.rows;
    return result;
}

std::string FacadeFixture::Narrow(const WString& text) {
    if (text.empty()) return std::string();
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}
