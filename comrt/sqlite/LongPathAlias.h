// A short name for a host file whose full path is longer than SQLite's own
// file layer accepts: "/proc/self/fd/N/<leaf>", where N is a descriptor of the
// file's folder that the alias holds open for as long as it lives, so that the
// name keeps naming the same file even if the folder is renamed meanwhile.
// Ownership: owns the folder descriptor; closes it when destroyed.
// Thread-safety: as a plain value. Failure: Open answers false with errno set
// (ENAMETOOLONG, ENOENT, ...); the alias is then empty.
#pragma once

#include <string>

class LongPathAlias {
public:
    LongPathAlias() = default;
    ~LongPathAlias();
    LongPathAlias(const LongPathAlias&) = delete;
    LongPathAlias& operator=(const LongPathAlias&) = delete;

    // Opens the folder of the absolute or relative `path` and forms the alias
    // of its last level (which need not exist yet).
    bool Open(const std::string& path);
    const std::string& Name() const { return name_; }

private:
    void Close();

    int folder_ = -1;
    std::string name_;
};
