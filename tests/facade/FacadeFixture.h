// Fixture of the engine tests: a fresh folder per test with its own runtime
// prefix, a facade whose log lines and rebuild pauses are recorded, and
// helpers that read database files through SQLite itself.
// On Linux each test gets its own runtime prefix (COMRT_PREFIX). On Windows
// the default data folder and the HKLM keys are the machine's own: the tests
// clear them before each test and so run only under Wine, and skip elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "facade/DatabaseFacade.h"
#include "results/IResultRows.h"

struct sqlite3;

// A fresh name under the temporary folder for the current test:
// obz-<kind>-<run>-<suite>-<test>, apart from other runs of the suite.
std::filesystem::path TestFolderName(const std::string& kind);

// The component's default data folder: under the runtime prefix on Linux,
// C:\ProgramData\Ombrel\API\DataBase on Windows (prefix unused).
std::filesystem::path DefaultDataFolderOf(const std::filesystem::path& prefix);

#ifdef _WIN32
// Whether the program runs under Wine, where the tests may clear the
// machine's data folder and registry keys.
bool UnderWine();
#endif

class FacadeFixture : public ::testing::Test {
protected:
    class RecordingLog : public LogSink {
    public:
        void WriteLog(const WString& text) noexcept override { lines.push_back(text); }
        std::vector<WString> lines;
    };

    // What a query delivered: the column-name text (none when SetColumnName
    // was never called) and the row texts.
    struct QueryResult {
        bool succeeded = false;
        std::optional<WString> names;
        std::vector<WString> rows;
    };

    // A RecordSet that records what a query streams into it, on the stack of
    // a test (its reference count is not kept). It refuses rows beyond
    // rowsTaken with E_OUTOFMEMORY, as a set out of memory does, and answers
    // IResultRows (the module's own fast path) when rowsInterface is set.
    class RecordingSet final : public IRecordSet, public IResultRows {
    public:
        STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
            return E_NOTIMPL;
        }
        STDMETHODIMP GetRecordCount(LONG*) override { return E_NOTIMPL; }
        STDMETHODIMP GetRecordItem(LONG, IDispatch*, VARIANT_BOOL*) override { return E_NOTIMPL; }
        STDMETHODIMP SetRecordItem(BSTR record) override { return Take(WString(record, SysStringLen(record))); }
        STDMETHODIMP SetColumnName(BSTR name) override {
            names = WString(name, SysStringLen(name));
            rows.clear();
            return S_OK;
        }
        STDMETHODIMP AppendRow(const OLECHAR* const* values, UINT count) noexcept override;

        std::optional<WString> names;
        std::vector<WString> rows;
        size_t rowsTaken = std::numeric_limits<size_t>::max();
        bool rowsInterface = false;

    private:
        HRESULT Take(WString row);
    };

    // Another connection of this process holding a lock on a database file,
    // as another process would hold it, until it is destroyed.
    struct Holder {
        Holder(const std::filesystem::path& file, const char* sql);
        ~Holder();
        Holder(const Holder&) = delete;
        Holder& operator=(const Holder&) = delete;
        sqlite3* db = nullptr;
    };

    void SetUp() override;
    void TearDown() override;

    // The facade (re)made over the same log and pause record.
    void MakeFacade();

    // The default data folder: <prefix>/drive_c/ProgramData/Ombrel/API/DataBase
    // on Linux, C:\ProgramData\Ombrel\API\DataBase on Windows.
    std::filesystem::path DefaultDataFolder() const;
    // A path inside the test folder in wide form: a host path beginning with
    // '/' on Linux, a native path with backslashes on Windows.
    WString HostFile(const std::string& name) const;
    // "*" followed by HostFile(name): the FileName that selects that file.
    WString StarFile(const std::string& name) const { return OLESTR("*") + HostFile(name); }

    // The file name in UTF-8, as SQLite's open calls take it.
    static std::string Utf8Path(const std::filesystem::path& file);
    // Rows of sql run by SQLite on file, columns joined by "|" (NULL as "~").
    static std::vector<std::string> Rows(const std::filesystem::path& file, const std::string& sql);
    static std::string Bytes(const std::filesystem::path& file);

    // GetDBRecordSet into a RecordingSet.
    QueryResult Query(const WString& table, const WString& conditionCol = OLESTR(""),
                      const WString& conditionVal = OLESTR(""),
                      size_t rowsTaken = std::numeric_limits<size_t>::max(), bool rowsInterface = false);

    // Writes a REG_SZ value, making its key, in the registry's 64-bit view
    // (the one the component reads) from either bitness.
    static void PutRegistryText(HKEY root, const WString& key, const WString& name, const WString& value);

    // The default data folder as the component names it.
    static inline const WString kDefaultFolder = OLESTR("C:\\ProgramData\\Ombrel\\API\\DataBase\\");

    static WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }
    static std::string Narrow(const WString& text);  // UTF-8

    std::filesystem::path dir;
    std::filesystem::path prefix;
    RecordingLog log;
    std::vector<DWORD> pauses;
    std::unique_ptr<DatabaseFacade> facade;
};
