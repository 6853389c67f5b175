#include "SqliteHostVfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "LongPathAlias.h"

namespace {
sqlite3_vfs* Lower(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

// Whether the layer below takes `name` as it is: its own buffers hold
// mxPathname bytes, derived names ("-journal") included.
bool FitsBelow(sqlite3_vfs* lower, const char* name) {
    return name == nullptr || std::strlen(name) < static_cast<size_t>(lower->mxPathname) - 16;
}

// A file opened under an alias. The alias (and so its folder descriptor) and
// the name given to the layer below live as long as the file: that layer
// keeps the name and looks the file up by it again (to see whether it was
// moved, to name its journal). The lower layer's file object follows this one
// in the block that SQLite allocates.
struct AliasedFile {
    sqlite3_file base;
    sqlite3_file* lower = nullptr;
    LongPathAlias alias;
    sqlite3_filename lowerName = nullptr;

    ~AliasedFile() { sqlite3_free_filename(lowerName); }
};
constexpr size_t kLowerOffset = (sizeof(AliasedFile) + 15) & ~size_t(15);

sqlite3_file* Below(sqlite3_file* file) { return reinterpret_cast<AliasedFile*>(file)->lower; }
const sqlite3_io_methods& MethodsBelow(sqlite3_file* file) { return *Below(file)->pMethods; }

int Close(sqlite3_file* file) {
    auto* aliased = reinterpret_cast<AliasedFile*>(file);
    const int rc = aliased->lower->pMethods != nullptr ? aliased->lower->pMethods->xClose(aliased->lower) : SQLITE_OK;
    aliased->~AliasedFile();
    file->pMethods = nullptr;
    return rc;
}
int Read(sqlite3_file* f, void* data, int n, sqlite3_int64 at) { return MethodsBelow(f).xRead(Below(f), data, n, at); }
int Write(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
    return MethodsBelow(f).xWrite(Below(f), data, n, at);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) { return MethodsBelow(f).xTruncate(Below(f), size); }
int Sync(sqlite3_file* f, int flags) { return MethodsBelow(f).xSync(Below(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return MethodsBelow(f).xFileSize(Below(f), size); }
int Lock(sqlite3_file* f, int level) { return MethodsBelow(f).xLock(Below(f), level); }
int Unlock(sqlite3_file* f, int level) { return MethodsBelow(f).xUnlock(Below(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return MethodsBelow(f).xCheckReservedLock(Below(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return MethodsBelow(f).xFileControl(Below(f), op, arg); }
int SectorSize(sqlite3_file* f) { return MethodsBelow(f).xSectorSize(Below(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return MethodsBelow(f).xDeviceCharacteristics(Below(f)); }
// Shared memory and memory mapping exist only from versions 2 and 3 of the
// lower file's methods; without them SQLite is told what it would be told by
// a layer that lacks them.
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    return m.iVersion >= 2 && m.xShmMap ? m.xShmMap(Below(f), region, size, extend, out) : SQLITE_IOERR_SHMMAP;
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    return m.iVersion >= 2 && m.xShmLock ? m.xShmLock(Below(f), offset, n, flags) : SQLITE_IOERR_SHMLOCK;
}
void ShmBarrier(sqlite3_file* f) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    if (m.iVersion >= 2 && m.xShmBarrier) m.xShmBarrier(Below(f));
}
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    return m.iVersion >= 2 && m.xShmUnmap ? m.xShmUnmap(Below(f), deleteFlag) : SQLITE_OK;
}
int Fetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    if (m.iVersion >= 3 && m.xFetch) return m.xFetch(Below(f), at, n, out);
    *out = nullptr;
    return SQLITE_OK;
}
int Unfetch(sqlite3_file* f, sqlite3_int64 at, void* page) {
    const sqlite3_io_methods& m = MethodsBelow(f);
    return m.iVersion >= 3 && m.xUnfetch ? m.xUnfetch(Below(f), at, page) : SQLITE_OK;
}

const sqlite3_io_methods kAliasedMethods = {
    3, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl, SectorSize,
    DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch,
};

int OpenAliased(sqlite3_vfs* lower, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    file->pMethods = nullptr;
    auto* aliased = new (file) AliasedFile;
    aliased->base.pMethods = nullptr;
    aliased->lower = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kLowerOffset);
    aliased->lower->pMethods = nullptr;
    int rc = SQLITE_CANTOPEN;
    if (aliased->alias.Open(name)) {
        // The main file's name carries its journal's and log's names, as a
        // name that SQLite itself hands down does.
        const std::string& shortName = aliased->alias.Name();
        const bool main = (flags & SQLITE_OPEN_MAIN_DB) != 0;
        aliased->lowerName = sqlite3_create_filename(shortName.c_str(), main ? (shortName + "-journal").c_str() : "",
                                                     main ? (shortName + "-wal").c_str() : "", 0, nullptr);
        rc = aliased->lowerName == nullptr ? SQLITE_NOMEM
                                           : lower->xOpen(lower, aliased->lowerName, aliased->lower, flags, outFlags);
    }
    if (rc != SQLITE_OK) {
        // A lower file that got methods wants its close even after a failure.
        Close(file);
        return rc;
    }
    file->pMethods = &kAliasedMethods;
    return SQLITE_OK;
}

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* lower = Lower(vfs);
    if (FitsBelow(lower, name)) return lower->xOpen(lower, name, file, flags, outFlags);
    try {
        return OpenAliased(lower, name, file, flags, outFlags);
    } catch (const std::bad_alloc&) {
        file->pMethods = nullptr;
        return SQLITE_NOMEM;
    }
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncFolder) {
    sqlite3_vfs* lower = Lower(vfs);
    if (FitsBelow(lower, name)) return lower->xDelete(lower, name, syncFolder);
    try {
        LongPathAlias alias;
        if (!alias.Open(name)) return errno == ENOENT ? SQLITE_IOERR_DELETE_NOENT : SQLITE_IOERR_DELETE;
        return lower->xDelete(lower, alias.Name().c_str(), syncFolder);
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
}

int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    sqlite3_vfs* lower = Lower(vfs);
    if (FitsBelow(lower, name)) return lower->xAccess(lower, name, flags, result);
    try {
        LongPathAlias alias;
        if (!alias.Open(name)) {
            *result = 0;  // no folder, no file
            return SQLITE_OK;
        }
        return lower->xAccess(lower, alias.Name().c_str(), flags, result);
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
}

// The lower layer's full-path routine writes within the size it is given, so
// it serves long names too.
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return Lower(vfs)->xFullPathname(Lower(vfs), name, size, out);
}

using Symbol = void (*)();
void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Lower(vfs)->xDlOpen(Lower(vfs), name); }
void DlError(sqlite3_vfs* vfs, int size, char* out) { Lower(vfs)->xDlError(Lower(vfs), size, out); }
Symbol DlSym(sqlite3_vfs* vfs, void* library, const char* name) {
    return Lower(vfs)->xDlSym(Lower(vfs), library, name);
}
void DlClose(sqlite3_vfs* vfs, void* library) { Lower(vfs)->xDlClose(Lower(vfs), library); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) { return Lower(vfs)->xRandomness(Lower(vfs), size, out); }
int SleepFor(sqlite3_vfs* vfs, int micros) { return Lower(vfs)->xSleep(Lower(vfs), micros); }
int CurrentTime(sqlite3_vfs* vfs, double* now) { return Lower(vfs)->xCurrentTime(Lower(vfs), now); }
int LastError(sqlite3_vfs* vfs, int size, char* out) {
    return Lower(vfs)->xGetLastError ? Lower(vfs)->xGetLastError(Lower(vfs), size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    return Lower(vfs)->xCurrentTimeInt64(Lower(vfs), now);
}
int SetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr call) {
    return Lower(vfs)->xSetSystemCall(Lower(vfs), name, call);
}
sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs* vfs, const char* name) {
    return Lower(vfs)->xGetSystemCall(Lower(vfs), name);
}
const char* NextSystemCall(sqlite3_vfs* vfs, const char* name) {
    return Lower(vfs)->xNextSystemCall(Lower(vfs), name);
}

bool Register() {
    if (sqlite3_initialize() != SQLITE_OK) return false;
    sqlite3_vfs* lower = sqlite3_vfs_find(nullptr);
    if (lower == nullptr) return false;
    // Never destroyed: SQLite keeps it registered until the process ends.
    static sqlite3_vfs shim{};
    shim.iVersion = std::min(lower->iVersion, 3);
    shim.szOsFile = static_cast<int>(kLowerOffset) + lower->szOsFile;
    shim.mxPathname = std::max(lower->mxPathname, SqliteHostVfs::kMaxPathname);
    shim.zName = "comrt-host";
    shim.pAppData = lower;
    shim.xOpen = Open;
    shim.xDelete = Delete;
    shim.xAccess = Access;
    shim.xFullPathname = FullPathname;
    shim.xDlOpen = lower->xDlOpen ? DlOpen : nullptr;
    shim.xDlError = lower->xDlError ? DlError : nullptr;
    shim.xDlSym = lower->xDlSym ? DlSym : nullptr;
    shim.xDlClose = lower->xDlClose ? DlClose : nullptr;
    shim.xRandomness = Randomness;
    shim.xSleep = SleepFor;
    shim.xCurrentTime = CurrentTime;
    shim.xGetLastError = LastError;
    if (shim.iVersion >= 2) shim.xCurrentTimeInt64 = lower->xCurrentTimeInt64 ? CurrentTimeInt64 : nullptr;
    if (shim.iVersion >= 3) {
        shim.xSetSystemCall = lower->xSetSystemCall ? SetSystemCall : nullptr;
        shim.xGetSystemCall = lower->xGetSystemCall ? GetSystemCall : nullptr;
        shim.xNextSystemCall = lower->xNextSystemCall ? NextSystemCall : nullptr;
    }
    return sqlite3_vfs_register(&shim, 1) == SQLITE_OK;
}
}  // namespace

bool SqliteHostVfs::Install() {
    static const bool installed = Register();
    return installed;
}

namespace {
// Installed when the program or the component is loaded, before any open, so
// that a layer installed later (a test's fault injection) wraps this one and
// restores it as the default when it goes.
[[maybe_unused]] const bool kInstalledAtLoad = SqliteHostVfs::Install();
}  // namespace
