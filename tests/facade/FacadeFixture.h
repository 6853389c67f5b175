// Fixture of the engine tests: a fresh folder per test with its own runtime
// prefix, a facade whose log lines and rebuild pauses are recorded, and
// helpers that read database files through SQLite itself.
// Linux-only (it sets COMRT_PREFIX with setenv).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "facade/DatabaseFacade.h"

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

    void SetUp() override;
    void TearDown() override;

    // The facade (re)made over the same log and pause record.
    void MakeFacade();

    // <prefix>/drive_c/ProgramData/Ombrel/API/DataBase: the default data folder.
    std::filesystem::path DefaultDataFolder() const;
    // A host path (beginning with '/') inside the test folder, in wide form.
    WString HostFile(const std::string& name) const;
    // "*" followed by HostFile(name): the FileName that selects that file.
    WString StarFile(const std::string& name) const { return u"*" + HostFile(name); }

    // Rows of sql run by SQLite on file, columns joined by "|" (NULL as "~").
    static std::vector<std::string> Rows(const std::filesystem::path& file, const std::string& sql);
    static std::string Bytes(const std::filesystem::path& file);

    // GetDBRecordSet into a recording RecordSet.
    QueryResult Query(const WString& table, const WString& conditionCol = u"", const WString& conditionVal = u"");

    static WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }
    static std::string Narrow(const WString& text);  // UTF-8

    std::filesystem::path dir;
    std::filesystem::path prefix;
    RecordingLog log;
    std::vector<DWORD> pauses;
    std::unique_ptr<DatabaseFacade> facade;
};
