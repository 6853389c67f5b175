// Shared fixture of the import tests: the engine fixture's folder, prefix and
// facade, with text files written byte for byte and databases prepared and
// dumped through SQLite itself. File names are the native ones in the test's
// folder, whose path is taken to be ASCII (Wide widens bytes).
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "facade/FacadeFixture.h"
#include "import/BulkImporter.h"

class ImportFixture : public FacadeFixture {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // A database file made by running setup (may be empty: an empty file).
    std::string MakeDb(const std::string& name, const std::string& setup) {
        const std::string path = (dir / name).string();
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        // Nothing here needs to survive a crash; syncing would dominate the run.
        sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
        EXPECT_EQ(sqlite3_exec(db, setup.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
        return path;
    }

    // Every table's rows in rowid order, each value with its storage class.
    static std::string Dump(const std::string& path) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        std::string out;
        sqlite3_stmt* tables = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type='table' ORDER BY name", -1, &tables,
                           nullptr);
        while (sqlite3_step(tables) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(tables, 0));
            out += "[" + name + "]\n";
            sqlite3_stmt* rows = nullptr;
            sqlite3_prepare_v2(db, ("SELECT rowid, * FROM \"" + name + "\" ORDER BY rowid").c_str(), -1, &rows,
                               nullptr);
            while (sqlite3_step(rows) == SQLITE_ROW) {
                for (int i = 0; i < sqlite3_column_count(rows); ++i) out += Value(rows, i) + " ";
                out += "\n";
            }
            sqlite3_finalize(rows);
        }
        sqlite3_finalize(tables);
        sqlite3_close(db);
        return out;
    }

    static std::string Value(sqlite3_stmt* rows, int i) {
        char real[64];
        switch (sqlite3_column_type(rows, i)) {
            case SQLITE_NULL:
                return "null";
            case SQLITE_INTEGER:
                return "int:" + std::to_string(sqlite3_column_int64(rows, i));
            case SQLITE_FLOAT:
                std::snprintf(real, sizeof real, "real:%a", sqlite3_column_double(rows, i));
                return real;
            case SQLITE_BLOB: {
                std::string hex = "blob:";
                const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(rows, i));
                for (int b = 0; b < sqlite3_column_bytes(rows, i); ++b) {
                    std::snprintf(real, sizeof real, "%02x", bytes[b]);
                    hex += real;
                }
                return hex;
            }
            default:
                return "text:'" +
                       std::string(reinterpret_cast<const char*>(sqlite3_column_text(rows, i)),
                                   static_cast<size_t>(sqlite3_column_bytes(rows, i))) +
                       "'";
        }
    }
};
