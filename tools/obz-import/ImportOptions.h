// The command line of obz-import:
//   obz-import [options] FILE DATABASE TABLE
// Options may come before, between and after the three arguments; "--"
// ends them. A help or version request ends the parse.
// TABLE must be a plain name (ASCII letters, digits and "_", not starting
// with a digit): the component puts it into SQL as it stands.
// Thread-safety: a value type.
#pragma once

#include <optional>
#include <string>

class ImportOptions {
public:
    enum class Request { Import, Help, Version };
    enum class Format { ByExtension, Csv, Tsv };

    Request request = Request::Import;
    std::string file;
    std::string database;
    std::string table;
    bool header = true;
    Format format = Format::ByExtension;
    std::optional<char> delimiter;  // --delimiter
    bool quotes = true;
    std::optional<std::string> columns;  // --columns, UTF-8
    bool skipBad = false;
    std::string system;  // --system, for Connect

    // Parses argv[1..]; false with a message in `error` for a bad command line.
    static bool Parse(int argc, const char* const* argv, ImportOptions& options, std::string& error);
    // The text that --help prints.
    static const char* Usage() noexcept;

    // The delimiter in effect: --delimiter, else a tab for --tsv or a FILE
    // ending in .tsv or .tab (without case), else ",".
    char Delimiter() const;
};
