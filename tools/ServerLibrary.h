// A server library opened for its registration entry points (dlopen with
// RTLD_NOW | RTLD_LOCAL); closed on destruction.
// Thread-safety: one owner.
#pragma once

#include <string>

class ServerLibrary {
public:
    ServerLibrary() = default;
    ~ServerLibrary();
    ServerLibrary(const ServerLibrary&) = delete;
    ServerLibrary& operator=(const ServerLibrary&) = delete;

    // Opens the library at a host path; false with the loader's message.
    bool Open(const std::string& path, std::string& error);
    // The address of an exported function; null when missing.
    void* Entry(const char* name) const;

private:
    void* handle_ = nullptr;
};
