#include "TempFolder.h"

#include <atomic>
#include <random>

TempFolder::TempFolder() : path_(std::filesystem::temp_directory_path() / UniqueName()) {
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

WString TempFolder::file(const std::filesystem::path& name) const {
    const std::u16string units = (path_ / name).u16string();
    return WString(units.begin(), units.end());
}

std::string TempFolder::UniqueName() {
    static std::atomic<unsigned> counter{0};
    return "obz-sqlite-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
}
