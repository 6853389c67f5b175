#include "FaultVfs.h"

#include <stdexcept>

#include "CrashRecorder.h"

// The shim's file: its own header, then the wrapped VFS's file in the same
// allocation (SQLite sizes it by the shim's szOsFile).
struct FaultVfs::File {
    sqlite3_file header;
    FaultVfs* owner;
    int node;  // the crash mode's node of the file, -1 when unseen
};

namespace {
const char kName[] = "obz-fault";

// The Unix layer opens a folder only to sync it (after creating a journal,
// after deleting one when asked to): the crash mode takes its place there.
const char kOpenFolder[] = "openDirectory";
using OpenFolderCall = int (*)(const char*, int*);
sqlite3_syscall_ptr unixOpenFolder = nullptr;
CrashRecorder* folderRecorder = nullptr;

sqlite3_vfs* UnixLayer() {
    sqlite3_vfs* layer = sqlite3_vfs_find("unix");
    return layer != nullptr && layer->iVersion >= 3 && layer->xGetSystemCall(layer, kOpenFolder) != nullptr ? layer
                                                                                                        : nullptr;
}

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
    File* own = reinterpret_cast<File*>(file);
    if (const int fault = own->owner->WriteFault(amount); fault != SQLITE_OK) return fault;
    const int rc = FORWARD(xWrite, data, amount, offset);
    if (rc == SQLITE_OK && own->owner->recorder_ != nullptr) own->owner->recorder_->Wrote(own->node, data, amount, offset);
    return rc;
}

int FaultVfs::Sync(sqlite3_file* file, int flags) {
    File* own = reinterpret_cast<File*>(file);
    if (own->owner->failSyncs_) return SQLITE_IOERR_FSYNC;
    // Seen before it runs: the sync of the folder that may follow it inside
    // the Unix layer is seen as it happens, after it.
    if (own->owner->recorder_ != nullptr) own->owner->recorder_->Synced(own->node);
    return FORWARD(xSync, flags);
}

int FaultVfs::Truncate(sqlite3_file* file, sqlite3_int64 size) {
    File* own = reinterpret_cast<File*>(file);
    const int rc = FORWARD(xTruncate, size);
    if (rc == SQLITE_OK && own->owner->recorder_ != nullptr) own->owner->recorder_->Truncated(own->node, size);
    return rc;
}

int FaultVfs::Delete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    FaultVfs& self = Of(vfs);
    // Seen before it runs, for the same reason as a sync.
    if (self.recorder_ != nullptr) self.recorder_->Deleted(name);
    return self.base_->xDelete(self.base_, name, syncDir);
}

int FaultVfs::OpenFolder(const char* pathInFolder, int* fd) {
    const int rc = reinterpret_cast<OpenFolderCall>(unixOpenFolder)(pathInFolder, fd);
    if (rc == SQLITE_OK && folderRecorder != nullptr) folderRecorder->FolderSynced(pathInFolder);
    return rc;
}

bool FaultVfs::SeesFolderSyncs() { return UnixLayer() != nullptr; }

void FaultVfs::Record(CrashRecorder* recorder) {
    sqlite3_vfs* layer = UnixLayer();
    if (layer != nullptr && recorder != nullptr && recorder_ == nullptr) {
        unixOpenFolder = layer->xGetSystemCall(layer, kOpenFolder);
        layer->xSetSystemCall(layer, kOpenFolder, reinterpret_cast<sqlite3_syscall_ptr>(&FaultVfs::OpenFolder));
    } else if (layer != nullptr && recorder == nullptr && recorder_ != nullptr) {
        layer->xSetSystemCall(layer, kOpenFolder, unixOpenFolder);
    }
    folderRecorder = recorder;
    recorder_ = recorder;
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
    &FaultVfs::Truncate,
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
    own->node = -1;
    Real(file)->pMethods = nullptr;
    const int rc = self.base_->xOpen(self.base_, name, Real(file), flags, outFlags);
    if (rc == SQLITE_OK && self.recorder_ != nullptr) own->node = self.recorder_->Opened(name);
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
    shim_.xDelete = &FaultVfs::Delete;
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
    Record(nullptr);
    sqlite3_vfs_unregister(&shim_);
    sqlite3_vfs_register(base_, 1);
}

void FaultVfs::Heal() {
    writeFailure_ = SQLITE_OK;
    failSyncs_ = false;
    budget_ = nullptr;
    ownBudget_ = -1;
}
