#include "TempFolder.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

TempFolder::TempFolder() : path_(std::filesystem::temp_directory_path() / UniqueName()) {
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

WString TempFolder::Path(const std::filesystem::path& name) const {
    const std::u16string units = (path_ / name).u16string();
    return WString(units.begin(), units.end());
}

WString TempFolder::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Path(name);
}

std::string TempFolder::Bytes(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempFolder::UniqueName() {
    static std::atomic<unsigned> counter{0};
    return "obz-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
}
