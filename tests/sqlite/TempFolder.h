// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the object goes out of scope. Paths in it are
// host paths, which the runtime's path mapping passes as they are.
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

    const std::filesystem::path& folder() const { return path_; }
    // The wide form of folder() / name, as the component hands paths around.
    WString Path(const std::filesystem::path& name) const;
    // Creates `name` holding exactly `bytes`; answers its wide path.
    WString Write(const std::string& name, const std::string& bytes) const;
    // The bytes of `name`.
    std::string Bytes(const std::string& name) const;
    // A name that no other test, in this or another process, uses.
    static std::string UniqueName();

private:
    std::filesystem::path path_;
};
