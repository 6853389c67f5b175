#include "StagingFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

StagingFolder::StagingFolder() noexcept {
    try {
        std::error_code error;
        fs::path temporary = fs::temp_directory_path(error);
        if (error) temporary = "/tmp";
        std::string pattern = (temporary / "obz-import-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            problem_ = "cannot make a folder in " + temporary.string() + ": " + std::strerror(errno);
            return;
        }
        const fs::path made = fs::canonical(pattern, error);
        if (!error) fs::create_directories(made / "Data" / "API", error);
        if (error) {
            problem_ = "cannot prepare " + pattern + ": " + error.message();
            fs::remove_all(pattern, error);
            return;
        }
        path_ = made.string();
    } catch (...) {
        problem_ = "out of memory";
        path_.clear();
    }
}

StagingFolder::~StagingFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}
