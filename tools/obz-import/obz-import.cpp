// obz-import: loads a CSV or TSV file into a table through the component.
// It reads the file as it goes, writes the rows in the component's import
// format to a file in a staging folder, and hands that file to
// ImportDbFile, which stores every row in one transaction. See
// ImportOptions::Usage for the command line and the exit status.
#include <OBZeveVevuVAD.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ColumnNames.h"
#include "ComponentImport.h"
#include "CsvReader.h"
#include "DatabaseTarget.h"
#include "ImportFileWriter.h"
#include "ImportOptions.h"
#include "StagingFolder.h"
#include "TextDecoder.h"
#include "obzkit/HresultText.h"

namespace {

enum Exit { kStored = 0, kNothingStored = 1, kUsage = 2 };

int Fail(int status, const std::string& message) {
    std::cerr << "obz-import: " << message << std::endl;
    return status;
}

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr && file != stdin) std::fclose(file);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// "1 row", "2 rows".
std::string Count(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

class Importer {
public:
    explicit Importer(const ImportOptions& options) : options_(options) {}

    int Run() {
        File in(options_.file == "-" ? stdin : std::fopen(options_.file.c_str(), "rb"));
        if (!in) {
            const int error = errno;
            return Fail(kUsage, "cannot open " + options_.file + ": " + std::strerror(error));
        }
        TextDecoder decoder(in.get());
        CsvReader reader(decoder, options_.Delimiter(), options_.quotes);
        CsvReader::Record record;
        bool more = reader.Next(record);

        // The column names: --columns, else the header, else numbers.
        std::vector<std::string> names;
        if (options_.header && more) {
            if (!record.problem.empty())
                return Fail(kNothingStored, "line " + std::to_string(record.line) + ": in the header, " + record.problem);
            for (size_t i = 0; i < record.Count(); ++i) names.emplace_back(record.Value(i));
            more = reader.Next(record);
        }
        if (options_.columns) names = ColumnNames::Split(*options_.columns);
        const size_t expected = !names.empty() ? names.size() : more ? record.Count() : 0;
        if (names.empty()) names = ColumnNames::Numbered(expected);
        if (expected == 0) {
            if (decoder.ReadFailed()) return Fail(kUsage, "cannot read " + options_.file);
            std::cout << "0 rows read: " << options_.file << " holds no rows and names no columns, so "
                      << options_.table << " is not made" << std::endl;
            return kStored;
        }
        std::string columns;
        std::string problem;
        if (!ColumnNames::List(names, columns, problem)) return Fail(kUsage, problem);

        StagingFolder staging;
        if (!staging.Made()) return Fail(kUsage, staging.Problem());
        DatabaseTarget target;
        if (!DatabaseTarget::Resolve(options_.database, staging.Path(), target, problem))
            return Fail(kUsage, problem);

        // The table first: an empty file still gets it, and a file the
        // component cannot open is told before the rows are read.
        ComponentImport component(std::cerr);
        if (const HRESULT hr = component.Start(); FAILED(hr))
            return Fail(kUsage, "cannot create Ombrel.ZeveVevuVAD (" + obzkit::HresultText(hr) +
                                    "): is the component registered?");
        if (!target.hostAddress.empty() || !options_.system.empty())
            component.Connect(target.hostAddress, options_.system);
        const std::string& table = options_.table;
        // Options 0 and 1: no key and no collation, the table that
        // ImportDbFile itself would make.
        if (component.CreateDbFile(target.fileName, table + "|0|1", columns) != 1)
            return Fail(kNothingStored, "the component could not open " + target.shown);

        const std::string rowsPath = staging.Path() + "/rows.txt";
        File out(std::fopen(rowsPath.c_str(), "wb"));
        if (!out) return Fail(kUsage, "cannot write " + rowsPath);
        ImportFileWriter writer(out.get());
        for (; more; more = reader.Next(record)) {
            ++read_;
            if (record.problem.empty() && record.Count() != expected)
                record.problem = "the row has " + Count(record.Count(), "value") + " where " + std::to_string(expected) +
                                 (expected == 1 ? " is" : " are") + " expected";
            size_t refused = 0;
            if (record.problem.empty() && !writer.Write(record, refused))
                record.problem = "value " + std::to_string(refused + 1) + " holds more than " +
                                 std::to_string(ImportFileWriter::kMostJoined) +
                                 " line breaks, more than the component stores in one value";
            if (record.problem.empty()) continue;
            if (bad_++ == 0) firstBad_ = "line " + std::to_string(record.line) + ": " + record.problem;
            if (!options_.skipBad) break;
        }
        if (decoder.ReadFailed()) return Fail(kUsage, "cannot read " + options_.file);
        if (bad_ > 0 && !options_.skipBad) {
            Fail(kNothingStored, firstBad_);
            return Fail(kNothingStored, "nothing stored (--skip-bad stores the other rows)");
        }
        if (!writer.Finish() || std::fclose(out.release()) != 0)
            return Fail(kUsage, "cannot write " + rowsPath + " (is the disk full?)");

        const size_t good = read_ - bad_;
        if (good > 0 &&
            component.ImportDbFile(rowsPath, table, columns, std::string(1, ImportFileWriter::kRowSplit),
                                   std::string(1, ImportFileWriter::kColumnSplit)) != 1) {
            std::cout << Count(read_, "row") << " read, none stored" << std::endl;
            return Fail(kNothingStored, "the component stored none of the rows in " + options_.table + " of " +
                                            target.shown + " (a row may not fit the table's columns or keys)");
        }
        std::cout << Count(read_, "row") << " read, " << good << " stored in " << options_.table << " of "
                  << target.shown << std::endl;
        if (bad_ > 0) Fail(kStored, Count(bad_, "bad row") + " skipped; the first, " + firstBad_);
        return kStored;
    }

private:
    const ImportOptions& options_;
    size_t read_ = 0;
    size_t bad_ = 0;
    std::string firstBad_;
};

}  // namespace

int main(int argc, char** argv) {
    ImportOptions options;
    std::string error;
    if (!ImportOptions::Parse(argc, argv, options, error)) {
        std::cerr << "obz-import: " << error << "\nRun 'obz-import --help' for the options.\n";
        return kUsage;
    }
    if (options.request == ImportOptions::Request::Help) {
        std::cout << ImportOptions::Usage();
        return 0;
    }
    if (options.request == ImportOptions::Request::Version) {
        std::cout << "obz-import (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n";
        return 0;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return Fail(kUsage, "cannot initialise COM");
    int status = kUsage;
    try {
        status = Importer(options).Run();
    } catch (const std::bad_alloc&) {
        status = Fail(kUsage, "out of memory");
    }
    CoUninitialize();
    return status;
}
