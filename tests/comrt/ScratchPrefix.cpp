#include "ScratchPrefix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

ScratchPrefix::ScratchPrefix(const std::string& base) {
    if (const char* old = std::getenv("COMRT_PREFIX")) previous_ = old;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = !base.empty() ? base : tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
    std::string pattern = folder + "/comrt-prefix-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
    setenv("COMRT_PREFIX", path_.c_str(), 1);
}

ScratchPrefix::~ScratchPrefix() {
    if (previous_)
        setenv("COMRT_PREFIX", previous_->c_str(), 1);
    else
        unsetenv("COMRT_PREFIX");
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchPrefix::ReadFile(const std::string& relative) const {
    std::ifstream in(path_ + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ScratchPrefix::WriteFile(const std::string& relative, const std::string& text) const {
    std::ofstream(path_ + "/" + relative, std::ios::binary) << text;
}
