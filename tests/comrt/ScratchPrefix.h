// A fresh, empty prefix folder for one test: points COMRT_PREFIX at it while
// the object lives, then restores the previous value and removes the folder.
// Not thread-safe (it changes the process environment).
#pragma once

#include <optional>
#include <string>

class ScratchPrefix {
public:
    // The folder is made in `base`, else in $TMPDIR or /tmp.
    explicit ScratchPrefix(const std::string& base = std::string());
    ~ScratchPrefix();
    ScratchPrefix(const ScratchPrefix&) = delete;
    ScratchPrefix& operator=(const ScratchPrefix&) = delete;

    const std::string& Path() const { return path_; }
    // The whole content of a file below the prefix ("" when missing).
    std::string ReadFile(const std::string& relative) const;
    void WriteFile(const std::string& relative, const std::string& text) const;

private:
    std::string path_;
    std::optional<std::string> previous_;
};
