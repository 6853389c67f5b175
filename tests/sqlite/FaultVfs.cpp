#include "FaultVfs.h"

#include <stdexcept>

// The shim's file: its own header, then the wrapped VFS's file in the same
// allocation (SQLite sizes it by the shim's szOsFile).
struct FaultVfs::File {
    sqlite3_file header;
    FaultVfs* owner;
};

namespace {
const char kName[] = "obz-fault";

// Forwards an I/O method to the wrapped file.
#define FORWARD(method, ...) Real(file)->pMethods->method(Real(file) __VA_OPT__(, ) __VA_ARGS__)
}  // namespace

sqlite3_file* FaultVfs::Real(sqlite3_file* file) { return reinterpret_cast<sqlite3_file*>(reinterpret_cast<File*>(file) + 1); }

int FaultVfs::WriteFault(int amount) {
    if (const int code = writeFailure_.load(); code != SQLITE_OK) return code;
    std::atomic<int64_t>* budget = budget_.load();
    if (budget == nullptr) return SQLITE_OK;
    // A write that does not fit fails whole, as on a full disk.
    if (budget->fetch_sub(amount) < amount) {
        budget->fetch_add(amount);
        return SQLITE_FULL;
    }
    return SQLITE_OK;
}

int FaultVfs::Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    if (const int fault = reinterpret_cast<File*>(file)->owner->WriteFault(amount); fault != SQLITE_OK) return fault;
    return FORWARD(xWrite, data, amount, offset);
}

int FaultVfs::Sync(sqlite3_file* file, int flags) {
    if (reinterpret_cast<File*>(file)->owner->failSyncs_) return SQLITE_IOERR_FSYNC;
    return FORWARD(xSync, flags);
}

const sqlite3_io_methods FaultVfs::kMethods = {
    3,
    [](sqlite3_file* file) {
        const int rc = FORWARD(xClose);
        file->pMethods = nullptr;
        return rc;
    },
    [](sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) { return FORWARD(xRead, data, amount, offset); },
    &FaultVfs::Write,
    [](sqlite3_file* file, sqlite3_int64 size) { return FORWARD(xTruncate, size); },
    &FaultVfs::Sync,
    [](sqlite3_file* file, sqlite3_int64* size) { return FORWARD(xFileSize, size); },
    [](sqlite3_file* file, int level) { return FORWARD(xLock, level); },
    [](sqlite3_file* file, int level) { return FORWARD(xUnlock, level); },
    [](sqlite3_file* file, int* out) { return FORWARD(xCheckReservedLock, out); },
    [](sqlite3_file* file, int op, void* arg) { return FORWARD(xFileControl, op, arg); },
    [](sqlite3_file* file) { return FORWARD(xSectorSize); },
    [](sqlite3_file* file) { return FORWARD(xDeviceCharacteristics); },
    [](sqlite3_file* file, int page, int size, int extend, void volatile** out) {
        return FORWARD(xShmMap, page, size, extend, out);
    },
    [](sqlite3_file* file, int offset, int n, int flags) { return FORWARD(xShmLock, offset, n, flags); },
    [](sqlite3_file* file) { FORWARD(xShmBarrier); },
    [](sqlite3_file* file, int deleteFlag) { return FORWARD(xShmUnmap, deleteFlag); },
    [](sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
        // Memory-mapped reads need the wrapped file's version 3 methods.
        if (Real(file)->pMethods->iVersion < 3) {
            *out = nullptr;
            return SQLITE_OK;
        }
        return FORWARD(xFetch, offset, amount, out);
    },
    [](sqlite3_file* file, sqlite3_int64 offset, void* page) {
        if (Real(file)->pMethods->iVersion < 3) return SQLITE_OK;
        return FORWARD(xUnfetch, offset, page);
    },
};

int FaultVfs::Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    FaultVfs& self = Of(vfs);
    File* own = reinterpret_cast<File*>(file);
    own->owner = &self;
    Real(file)->pMethods = nullptr;
    const int rc = self.base_->xOpen(self.base_, name, Real(file), flags, outFlags);
    // SQLite calls xClose only when pMethods is set: leave it null when the
    // wrapped open left nothing to close.
    file->pMethods = Real(file)->pMethods != nullptr ? &kMethods : nullptr;
    return rc;
}

int FaultVfs::Sleep(sqlite3_vfs* vfs, int microseconds) {
    FaultVfs& self = Of(vfs);
    ++self.sleeps_;
    return self.base_->xSleep(self.base_, microseconds);
}

FaultVfs::FaultVfs() : base_(sqlite3_vfs_find(nullptr)), shim_(base_ != nullptr ? *base_ : sqlite3_vfs{}) {
    if (base_ == nullptr) throw std::runtime_error("SQLite has no default VFS");
    shim_.szOsFile = static_cast<int>(sizeof(File)) + base_->szOsFile;
    shim_.zName = kName;
    shim_.pNext = nullptr;
    shim_.pAppData = this;
    shim_.xOpen = &FaultVfs::Open;
    shim_.xSleep = &FaultVfs::Sleep;
    // The rest goes to the wrapped VFS unchanged.
    shim_.xDelete = [](sqlite3_vfs* vfs, const char* name, int syncDir) {
        return Of(vfs).base_->xDelete(Of(vfs).base_, name, syncDir);
    };
    shim_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* out) {
        return Of(vfs).base_->xAccess(Of(vfs).base_, name, flags, out);
    };
    shim_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
        return Of(vfs).base_->xFullPathname(Of(vfs).base_, name, size, out);
    };
    shim_.xDlOpen = [](sqlite3_vfs* vfs, const char* name) { return Of(vfs).base_->xDlOpen(Of(vfs).base_, name); };
    shim_.xDlError = [](sqlite3_vfs* vfs, int size, char* out) { Of(vfs).base_->xDlError(Of(vfs).base_, size, out); };
    shim_.xDlSym = [](sqlite3_vfs* vfs, void* handle, const char* symbol) {
        return Of(vfs).base_->xDlSym(Of(vfs).base_, handle, symbol);
    };
    shim_.xDlClose = [](sqlite3_vfs* vfs, void* handle) { Of(vfs).base_->xDlClose(Of(vfs).base_, handle); };
    shim_.xRandomness = [](sqlite3_vfs* vfs, int size, char* out) {
        return Of(vfs).base_->xRandomness(Of(vfs).base_, size, out);
    };
    shim_.xCurrentTime = [](sqlite3_vfs* vfs, double* out) { return Of(vfs).base_->xCurrentTime(Of(vfs).base_, out); };
    shim_.xGetLastError = [](sqlite3_vfs* vfs, int size, char* out) {
        return Of(vfs).base_->xGetLastError(Of(vfs).base_, size, out);
    };
    if (base_->iVersion >= 2)
        shim_.xCurrentTimeInt64 = [](sqlite3_vfs* vfs, sqlite3_int64* out) {
            return Of(vfs).base_->xCurrentTimeInt64(Of(vfs).base_, out);
        };
    if (base_->iVersion >= 3) {
        shim_.xSetSystemCall = [](sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
            return Of(vfs).base_->xSetSystemCall(Of(vfs).base_, name, call);
        };
        shim_.xGetSystemCall = [](sqlite3_vfs* vfs, const char* name) {
            return Of(vfs).base_->xGetSystemCall(Of(vfs).base_, name);
        };
        shim_.xNextSystemCall = [](sqlite3_vfs* vfs, const char* name) {
            return Of(vfs).base_->xNextSystemCall(Of(vfs).base_, name);
        };
    }
    if (sqlite3_vfs_register(&shim_, 1) != SQLITE_OK) throw std::runtime_error("cannot register the fault VFS");
}

FaultVfs::~FaultVfs() {
    sqlite3_vfs_unregister(&shim_);
    sqlite3_vfs_register(base_, 1);
}

void FaultVfs::Heal() {
    writeFailure_ = SQLITE_OK;
    failSyncs_ = false;
    budget_ = nullptr;
    ownBudget_ = -1;
}
