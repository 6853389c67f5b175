#include "Prefix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include <comrt/comrt.h>

namespace {
std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = EnvText("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/tmp";
}

// mkdir -p; concurrent creators are fine because EEXIST counts as success.
void MakeFolders(const std::string& path) {
    for (size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty()) mkdir(part.c_str(), 0777);
        if (at == std::string::npos) break;
    }
}
}  // namespace

std::string Prefix::Locate() {
    std::string prefix = EnvText("COMRT_PREFIX");
    if (prefix.empty()) {
        std::string data = EnvText("XDG_DATA_HOME");
        prefix = (data.empty() ? HomeFolder() + "/.local/share" : data) + "/comrt";
    }
    if (prefix.front() != '/') {
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) != nullptr) prefix = std::string(cwd.data()) + "/" + prefix;
    }
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

void Prefix::EnsureLayout(const std::string& prefix) {
    struct stat info {};
    const std::string link = prefix + "/dosdevices/c:";
    if (lstat(link.c_str(), &info) == 0 && stat((prefix + "/drive_c").c_str(), &info) == 0) return;
    MakeFolders(prefix + "/drive_c");
    MakeFolders(prefix + "/dosdevices");
    if (lstat(link.c_str(), &info) != 0) symlink("../drive_c", link.c_str());
}

std::string Prefix::Path() {
    std::string prefix = Locate();
    EnsureLayout(prefix);
    return prefix;
}

DWORD ComrtGetPrefix(char* buffer, DWORD size) {
    const std::string prefix = Prefix::Path();
    if (buffer == nullptr || prefix.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    prefix.copy(buffer, prefix.size());
    buffer[prefix.size()] = '\0';
    return static_cast<DWORD>(prefix.size());
}
