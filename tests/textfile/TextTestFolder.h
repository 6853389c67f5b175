// A fresh temporary folder for one text-file test, with COMRT_PREFIX pointed
// at a prefix inside it; removed with its contents on destruction.
#pragma once

#include <filesystem>
#include <string>

#include "com/Platform.h"

class TextTestFolder {
public:
    TextTestFolder();
    ~TextTestFolder();
    TextTestFolder(const TextTestFolder&) = delete;
    TextTestFolder& operator=(const TextTestFolder&) = delete;

    // Host path of `name` in wide form (host paths pass the mapping as they are).
    WString Path(const std::string& name) const;
    // Creates `name` holding exactly `bytes`; answers its wide path.
    WString Write(const std::string& name, const std::string& bytes) const;
    // The bytes of `name`.
    std::string Bytes(const std::string& name) const;

private:
    std::filesystem::path m_path;
};
