#include "VersionResource.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <comrt/comrt.h>

#include "ModuleInfo.h"
#include "Utf.h"

namespace {
constexpr char kSymbol[] = "ComrtVersionResource";
constexpr char16_t kKey[] = u"VS_VERSION_INFO";  // 16 units with the terminator
constexpr size_t kKeyOffset = 6;
constexpr size_t kValueOffset = 40;  // after the key, aligned to 4 bytes

void PutWord(unsigned char* at, WORD value) { std::memcpy(at, &value, sizeof value); }

WORD GetWord(const unsigned char* at) {
    WORD value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Closes a dlopen handle at scope end.
class LibraryHandle {
public:
    explicit LibraryHandle(void* handle) : handle_(handle) {}
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    ~LibraryHandle() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    void* Get() const { return handle_; }

private:
    void* handle_;
};
}  // namespace

std::string VersionResource::HostPath(LPCWSTR fileName) {
    const std::u16string_view name(fileName);
    if (name.empty()) return std::string();
    if (name[0] == u'/' || name.find_first_of(u"\\/:") == std::u16string_view::npos) return Utf::ToUtf8(name);
    std::vector<char> host(4096);
    if (!ComrtMapPathW(fileName, host.data(), static_cast<DWORD>(host.size()))) return std::string();
    return std::string(host.data());
}

bool VersionResource::Load(LPCWSTR fileName, VS_FIXEDFILEINFO* info, DWORD* error) {
    if (fileName == nullptr) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    const std::string path = HostPath(fileName);
    if (path.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const bool isPath = path.find('/') != std::string::npos;
    if (isPath && access(path.c_str(), F_OK) != 0) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // The executable cannot be opened by name; a library already loaded is
    // found again, one not yet loaded is loaded for the look-up only.
    const bool executable = isPath && ModuleInfo::SameFile(path, ModuleInfo::ExecutablePath());
    LibraryHandle module(dlopen(executable ? nullptr : path.c_str(), RTLD_LAZY | RTLD_LOCAL));
    if (module.Get() == nullptr) {
        *error = isPath ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        return false;
    }
    const void* symbol = dlsym(module.Get(), kSymbol);
    // dlsym also searches the module's dependencies; only the module's own
    // resource counts.
    link_map* moduleMap = nullptr;
    link_map* symbolMap = nullptr;
    Dl_info where;
    if (symbol == nullptr || dlinfo(module.Get(), RTLD_DI_LINKMAP, &moduleMap) != 0 ||
        dladdr1(symbol, &where, reinterpret_cast<void**>(&symbolMap), RTLD_DL_LINKMAP) == 0 ||
        symbolMap != moduleMap) {
        *error = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return false;
    }
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, symbol, sizeof fixed);
    if (fixed.dwSignature != VS_FFI_SIGNATURE) {
        *error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return false;
    }
    *info = fixed;
    return true;
}

void VersionResource::Build(const VS_FIXEDFILEINFO& info, void* block) {
    auto* bytes = static_cast<unsigned char*>(block);
    std::memset(bytes, 0, kBlockSize);
    PutWord(bytes, static_cast<WORD>(kBlockSize));
    PutWord(bytes + 2, static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)));
    PutWord(bytes + 4, 0);  // binary value
    std::memcpy(bytes + kKeyOffset, kKey, sizeof kKey);
    std::memcpy(bytes + kValueOffset, &info, sizeof info);
}

const VS_FIXEDFILEINFO* VersionResource::Fixed(const void* block) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    if (GetWord(bytes) < kBlockSize || GetWord(bytes + 2) != sizeof(VS_FIXEDFILEINFO) ||
        std::memcmp(bytes + kKeyOffset, kKey, sizeof kKey) != 0) {
        return nullptr;
    }
    DWORD signature = 0;
    std::memcpy(&signature, bytes + kValueOffset, sizeof signature);
    if (signature != VS_FFI_SIGNATURE) return nullptr;
    return reinterpret_cast<const VS_FIXEDFILEINFO*>(bytes + kValueOffset);
}

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
    if (handle != nullptr) *handle = 0;
    VS_FIXEDFILEINFO info;
    DWORD error = 0;
    if (!VersionResource::Load(fileName, &info, &error)) {
        SetLastError(error);
        return 0;
    }
    return VersionResource::kBlockSize;
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD /*handle*/, DWORD size, LPVOID data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VS_FIXEDFILEINFO info;
    DWORD error = 0;
    if (!VersionResource::Load(fileName, &info, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (size < VersionResource::kBlockSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    VersionResource::Build(info, data);
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length) {
    if (block == nullptr || subBlock == nullptr || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const VS_FIXEDFILEINFO* fixed = VersionResource::Fixed(block);
    // Only the root holds anything: no string or translation tables here.
    if (fixed == nullptr || std::u16string_view(subBlock) != u"\\") {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *buffer = const_cast<VS_FIXEDFILEINFO*>(fixed);
    if (length != nullptr) *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
