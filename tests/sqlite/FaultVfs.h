// A SQLite VFS shim for the tests that plays a failing machine: it wraps the
// VFS that is SQLite's default when it is installed (the runtime may have put
// a shim of its own there) and becomes the default itself, so that every
// connection opened meanwhile, the component's included, goes through it.
// On demand it fails writes (an I/O error, or "disk full" once a byte budget
// is spent) and syncs, and it counts the sleeps of SQLite's busy handler, so
// that a test can tell that a call did not wait on a lock. In its crash mode
// it reports what reaches the files of one folder to a CrashRecorder, which
// makes disk images of power cuts from it.
// Ownership: one object installs the shim for its lifetime; destruction
// restores the previous default. Connections opened through the shim must be
// closed before the object is destroyed.
// Thread-safety: the settings are atomics, safe to change while other threads
// run statements. A budget may also live in memory shared between processes.
// The crash mode is for one thread at a time, and one object at a time.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstdint>

class CrashRecorder;

class FaultVfs {
public:
    FaultVfs();
    ~FaultVfs();
    FaultVfs(const FaultVfs&) = delete;
    FaultVfs& operator=(const FaultVfs&) = delete;

    // Every write from now on fails with code (SQLITE_IOERR_WRITE, ...);
    // SQLITE_OK writes again.
    void FailWrites(int code) { writeFailure_ = code; }
    // The disk is full once bytes more have been written: later writes fail
    // with SQLITE_FULL. A negative count lifts the limit.
    void FullAfter(int64_t bytes) { ownBudget_ = bytes; budget_ = bytes < 0 ? nullptr : &ownBudget_; }
    // The same over a budget that other processes share (memory mapped
    // before they were forked); null lifts the limit.
    void ShareBudget(std::atomic<int64_t>* budget) { budget_ = budget; }
    // Every sync fails with SQLITE_IOERR_FSYNC while set.
    void FailSyncs(bool fail) { failSyncs_ = fail; }
    // Ends every fault.
    void Heal();

    // Crash mode: the files opened from now on in the recorder's folder report
    // their writes, truncations, syncs and deletions, and the syncs of the
    // folder, to recorder (which must outlive the mode); null ends the mode.
    // Files already open stay unseen.
    void Record(CrashRecorder* recorder);
    // Whether the crash mode sees the syncs of a folder (SQLite's Unix file
    // layer makes them); without them only the eager model holds.
    static bool SeesFolderSyncs();

    // Sleeps of the busy handler since the last ResetSleeps.
    int Sleeps() const { return sleeps_; }
    void ResetSleeps() { sleeps_ = 0; }

private:
    struct File;
    static const sqlite3_io_methods kMethods;

    static FaultVfs& Of(sqlite3_vfs* vfs) { return *static_cast<FaultVfs*>(vfs->pAppData); }
    static sqlite3_file* Real(sqlite3_file* file);
    static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags);
    static int Sleep(sqlite3_vfs* vfs, int microseconds);
    static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset);
    static int Sync(sqlite3_file* file, int flags);
    static int Truncate(sqlite3_file* file, sqlite3_int64 size);
    static int Delete(sqlite3_vfs* vfs, const char* name, int syncDir);
    // Stands in for the Unix layer's opening of a folder, which it does only
    // to sync it.
    static int OpenFolder(const char* pathInFolder, int* fd);
    // The write fault that applies now, SQLITE_OK for none.
    int WriteFault(int amount);

    sqlite3_vfs* base_;
    sqlite3_vfs shim_;
    std::atomic<int> writeFailure_{SQLITE_OK};
    std::atomic<bool> failSyncs_{false};
    std::atomic<int64_t> ownBudget_{-1};
    std::atomic<std::atomic<int64_t>*> budget_{nullptr};
    std::atomic<int> sleeps_{0};
    CrashRecorder* recorder_ = nullptr;
};
