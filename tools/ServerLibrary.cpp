#include "ServerLibrary.h"

#include <dlfcn.h>

ServerLibrary::~ServerLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

bool ServerLibrary::Open(const std::string& path, std::string& error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* message = dlerror();
        error = message != nullptr ? message : "unknown error";
        return false;
    }
    return true;
}

void* ServerLibrary::Entry(const char* name) const { return handle_ == nullptr ? nullptr : dlsym(handle_, name); }
