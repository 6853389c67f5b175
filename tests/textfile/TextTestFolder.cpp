#include "TextTestFolder.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

TextTestFolder::TextTestFolder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = std::filesystem::temp_directory_path() /
             ("obz-textfile-" + std::to_string(stamp) + "-" + std::to_string(std::random_device{}()) + "-" +
              std::to_string(counter++));
    std::filesystem::create_directories(m_path / "prefix");
    const std::string prefix = (m_path / "prefix").string();
#ifdef _WIN32
    _putenv_s("COMRT_PREFIX", prefix.c_str());
#else
    setenv("COMRT_PREFIX", prefix.c_str(), 1);
#endif
}

TextTestFolder::~TextTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

WString TextTestFolder::Path(const std::string& name) const {
    const std::u16string units = (m_path / name).u16string();
    return WString(units.begin(), units.end());
}

WString TextTestFolder::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(m_path / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Path(name);
}

std::string TextTestFolder::Bytes(const std::string& name) const {
    std::ifstream in(m_path / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
