#include "ImportOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>


namespace {
bool IsPlainName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) != 0) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; });
}

bool EndsWithoutCase(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - length + i])) != suffix[i]) return false;
    return true;
}

// One ASCII character, or "\t" or "tab" for a tab; not a quote or a line
// break.
bool ReadDelimiter(const std::string& text, char& delimiter, std::string& error) {
    if (text == "\\t" || text == "tab") {
        delimiter = '\t';
        return true;
    }
    if (text.size() != 1 || static_cast<unsigned char>(text[0]) >= 0x80 || text[0] == '\0') {
        error = "the delimiter must be one ASCII character: " + text;
        return false;
    }
    if (text[0] == '"' || text[0] == '\r' || text[0] == '\n') {
        error = "a quote or a line break cannot be the delimiter";
        return false;
    }
    delimiter = text[0];
    return true;
}
}  // namespace

bool ImportOptions::Parse(int argc, const char* const* argv, ImportOptions& options, std::string& error) {
    options = ImportOptions();
    std::vector<std::string> arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            arguments.push_back(arg);
            continue;
        }
        // --name=value and --name value both give a value.
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        auto takeValue = [&]() -> bool {
            if (value) return true;
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            options.request = Request::Help;
            return true;
        } else if (name == "--version") {
            options.request = Request::Version;
            return true;
        } else if (name == "--header") {
            options.header = true;
        } else if (name == "--no-header") {
            options.header = false;
        } else if (name == "--csv") {
            options.format = Format::Csv;
        } else if (name == "--tsv") {
            options.format = Format::Tsv;
        } else if (name == "--no-quotes") {
            options.quotes = false;
        } else if (name == "--skip-bad") {
            options.skipBad = true;
        } else if (name == "-d" || name == "--delimiter") {
            char delimiter = 0;
            if (!takeValue() || !ReadDelimiter(*value, delimiter, error)) return false;
            options.delimiter = delimiter;
        } else if (name == "--columns") {
            if (!takeValue()) return false;
            options.columns = *value;
        } else if (name == "--system") {
            if (!takeValue()) return false;
            options.system = *value;
        } else {
            error = "unknown option " + arg;
            return false;
        }
        if (value && name != "-d" && name != "--delimiter" && name != "--columns" && name != "--system") {
            error = name + " takes no value";
            return false;
        }
    }
    if (arguments.size() != 3) {
        error = arguments.size() < 3 ? "FILE, DATABASE and TABLE are needed" : "too many arguments";
        return false;
    }
    options.file = arguments[0];
    options.database = arguments[1];
    options.table = arguments[2];
    if (!IsPlainName(options.table)) {
        error = "TABLE must be a plain name (letters, digits and _, not starting with a digit): " + options.table;
        return false;
    }
    return true;
}

char ImportOptions::Delimiter() const {
    if (delimiter) return *delimiter;
    const bool tabExtension = EndsWithoutCase(file, ".tsv") || EndsWithoutCase(file, ".tab");
    const bool tabs = format == Format::Tsv || (format == Format::ByExtension && tabExtension);
    return tabs ? '\t' : ',';
}

const char* ImportOptions::Usage() noexcept {
    return "Usage: obz-import [OPTION]... FILE DATABASE TABLE\n"
           "Load a CSV or TSV file into a table through the OBZeveVevuVAD component.\n"
           "\n"
           "FILE is read as RFC 4180 CSV: values separated by the delimiter, records\n"
           "ended by line breaks, a value in double quotes may hold delimiters, line\n"
           "breaks and \"\" for a quote. The text is UTF-8, with or without a\n"
           "byte-order mark, or UTF-16 with one. Blank lines are skipped; nothing is\n"
           "trimmed.\n"
           "\n"
           "DATABASE names the file as CreateDbFile does: NAME is NAME.db in the\n"
           "component's data folder, *PATH the file PATH (which must end in .db).\n"
           "TABLE is created when missing, with a TEXT column for each value, named\n"
           "after the header row (c1, c2, ... without one); an existing table is used\n"
           "as it is, and its columns are filled in order. Every value is stored as\n"
           "text. The rows are stored all together, or none is.\n"
           "\n"
           "Options:\n"
           "      --header           the first record names the columns (the default);\n"
           "                         it is not stored\n"
           "      --no-header        the first record is data\n"
           "      --columns LIST     name the columns of a new table: a comma-separated\n"
           "                         list (a header row is still skipped)\n"
           "      --csv              values separated by commas (the default)\n"
           "      --tsv              values separated by tabs (the default for a FILE\n"
           "                         ending in .tsv or .tab)\n"
           "  -d, --delimiter CHAR   values separated by CHAR, one ASCII character (\\t\n"
           "                         or tab for a tab)\n"
           "      --no-quotes        double quotes are ordinary characters\n"
           "      --skip-bad         store the good rows and skip bad ones (by default\n"
           "                         a bad row stops the import and nothing is stored)\n"
           "      --system NAME      connect with the system name NAME first, so that\n"
           "                         the data folder is that system's\n"
           "  -h, --help             show this help and exit\n"
           "      --version          show the version and exit\n"
           "\n"
           "A row is bad when its number of values differs from the header's (or the\n"
           "first row's), when a quote is not closed, when text follows a closing\n"
           "quote, or when a value is not valid text, holds a zero character or\n"
           "holds more than 499 line breaks.\n"
           "obz-import prints the rows read and stored, and the line of the first\n"
           "bad row.\n"
           "\n"
           "Exit status: 0 when the rows were stored, 1 when nothing was stored (a\n"
           "bad row, or the component refused the rows), 2 for a bad command line, a\n"
           "file that cannot be read, or a component that cannot be created.\n"
           "\n"
           "Example: obz-import --tsv cities.txt Demo Cities\n";
}
