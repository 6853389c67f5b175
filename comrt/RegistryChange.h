// One change of a prefix's registry: a read-modify-write of its hives under
// the prefix's one exclusive lock (an flock on <prefix>/registry.lock, which
// every writer of any process takes). Each hive is read the first time the
// change needs it, inside the lock, so the change starts from the newest
// file; Commit then writes each changed hive once (a synced temporary file
// renamed into place). Readers, who take no lock, see every hive either as
// it was or with the whole change.
// Thread-safety: one thread at a time. Failure: Win32 error codes; a change
// destroyed without Commit stores nothing and releases the lock.
#pragma once

#include <memory>
#include <string>

#include <comrt/winbase.h>

#include "HiveFile.h"
#include "HiveChange.h"
#include "UniqueFd.h"

class RegistryChange {
public:
    enum Hive { kMachine = 0, kUser = 1 };

    explicit RegistryChange(const std::string& prefix);

    // The prefix's lock when no one holds it; an invalid descriptor when it
    // is held or cannot be taken. Held until the descriptor closes.
    static UniqueFd TryLock(const std::string& prefix);

    // Waits for the lock. ERROR_ACCESS_DENIED when it cannot be taken.
    LSTATUS Lock();
    // The change of `hive`, for reading and changing. ERROR_BADDB when the
    // hive file is refused.
    LSTATUS Change(Hive hive, HiveChange*& change);
    // Writes every modified hive: first each to a synced temporary file, then
    // all renamed into place. Removes first what dead writers left behind. ERROR_CANTWRITE when any cannot be written (a
    // failure before the renames stores nothing).
    LSTATUS Commit();

private:
    struct Slot {
        explicit Slot(HiveFile hive) : file(std::move(hive)) {}
        HiveFile file;
        std::unique_ptr<HiveChange> change;
    };

    std::string lockPath_;
    UniqueFd lock_;
    Slot slots_[2];
};
