// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the object goes out of scope.
#pragma once

#include <filesystem>
#include <string>

#include "com/Platform.h"

class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& path() const { return path_; }
    // The wide form of path() / name, as the component hands paths around.
    WString file(const std::filesystem::path& name) const;
    // A name that no other test, in this or another process, uses.
    static std::string UniqueName();

private:
    std::filesystem::path path_;
};
