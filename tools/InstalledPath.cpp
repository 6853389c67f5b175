#include "InstalledPath.h"

#include <OBZeveVevuVAD.h>

#include <filesystem>
#include <system_error>

#include "obzkit/Utf8.h"

std::string InstalledPath::Find(const std::string& fromProgram, const std::string& configured) {
    OLECHAR self[4096];
    const DWORD length = GetModuleFileNameW(nullptr, self, 4096);
    if (length == 0 || length >= 4096) return configured;
    const std::filesystem::path program(obzkit::ToUtf8(self, length));
    const std::filesystem::path seen = (program.parent_path() / fromProgram).lexically_normal();
    std::error_code error;
    return std::filesystem::exists(seen, error) ? seen.string() : configured;
}
