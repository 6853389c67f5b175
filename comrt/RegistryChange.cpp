#include "RegistryChange.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace {
std::string LockPath(const std::string& prefix) { return prefix + "/registry.lock"; }
}  // namespace

RegistryChange::RegistryChange(const std::string& prefix)
    : lockPath_(LockPath(prefix)), slots_{Slot(HiveFile::Machine(prefix)), Slot(HiveFile::User(prefix))} {}

UniqueFd RegistryChange::TryLock(const std::string& prefix) {
    UniqueFd lock(open(LockPath(prefix).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.Valid() || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
    return lock;
}

LSTATUS RegistryChange::Lock() {
    // Closing the descriptor releases the lock, also when the process dies.
    UniqueFd lock(open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.Valid()) return ERROR_ACCESS_DENIED;
    while (flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return ERROR_ACCESS_DENIED;
    }
    lock_ = std::move(lock);
    return ERROR_SUCCESS;
}

LSTATUS RegistryChange::Change(Hive hive, HiveChange*& change) {
    Slot& slot = slots_[hive];
    if (!slot.change) {
        std::shared_ptr<const HiveSnapshot> base = slot.file.ReadWhole();
        if (base->Refused()) return ERROR_BADDB;
        slot.change = std::make_unique<HiveChange>(std::move(base));
    }
    change = slot.change.get();
    return ERROR_SUCCESS;
}

LSTATUS RegistryChange::Commit() {
    // Under the lock no other writer is between its write and its rename.
    for (const Slot& slot : slots_) slot.file.RemoveLeftovers();
    HiveFile::Replacement written[2];
    for (size_t i = 0; i < 2; ++i) {
        if (!slots_[i].change) continue;
        const LSTATUS status = slots_[i].file.Prepare(*slots_[i].change, written[i]);
        if (status != ERROR_SUCCESS) return status;
    }
    for (size_t i = 0; i < 2; ++i) {
        const LSTATUS status = slots_[i].file.Install(written[i]);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}
