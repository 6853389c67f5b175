// One registry hive kept as a registry-editor text file (see HiveScanner
// for the format, HiveDocument for what a rewrite keeps), with the index of
// a large one beside it (HiveIndex). Readers take no lock: writers
// never change a hive in place, they write a new file beside it, sync it and
// rename it over the old one, so a reader always sees one complete version.
// Writers serialise through RegistryChange, which holds the prefix's lock.
// What is read is cached (HiveCache) while the file stays the same.
// Thread-safety: instances are immutable; any thread or process may read and
// prepare at once. Failure: Read of a missing file is an empty hive, of a
// file that cannot be read or parsed a refused document (reported once on
// standard error); writes answer a Win32 error code and leave the hive as it
// was.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include <comrt/winbase.h>

#include "HiveCache.h"
#include "HiveChange.h"
#include "HiveSnapshot.h"
#include "UniqueFd.h"

class HiveFile {
public:
    // A new version of the hive, written and synced beside it. Install puts
    // it in place; destruction without Install removes it.
    class Replacement {
    public:
        Replacement() = default;
        ~Replacement();
        Replacement(const Replacement&) = delete;
        Replacement& operator=(const Replacement&) = delete;
        bool Empty() const { return temp_.empty(); }

    private:
        friend class HiveFile;
        std::string temp_;
        UniqueFd file_;
        std::shared_ptr<const HiveSnapshot> snapshot_;  // the new version, read back
    };

    // `path` is the hive file; `rootName` the section prefix, such as
    // u"HKEY_LOCAL_MACHINE".
    HiveFile(std::string path, std::u16string rootName);

    const std::string& Path() const { return path_; }

    // The newest complete version of the file, for reads (never null).
    std::shared_ptr<const HiveSnapshot> Read() const;
    // The newest complete version of the file read whole, for a change (never
    // null; refused when the file is).
    std::shared_ptr<const HiveSnapshot> ReadWhole() const;

    // Writes the file `change` was made over, with the change, to a synced
    // temporary file. Leaves `out` empty when the bytes stay the same.
    // ERROR_CANTWRITE when the file cannot be written, or its text would not
    // read back with the keys and values the change left.
    LSTATUS Prepare(const HiveChange& change, Replacement& out) const;
    // Renames a prepared version over the hive, and writes its index when
    // it is large enough to have one. ERROR_CANTWRITE on failure.
    LSTATUS Install(Replacement& replacement) const;
    // Removes the temporary files (<hive>.tmp.<pid>.<n>, new versions of the
    // hive or of its index) that writers which no longer run left behind
    // when they died before their rename. Only for a writer that holds the
    // prefix's lock; failures are ignored.
    void RemoveLeftovers() const;

    // The hive files of a prefix.
    static HiveFile Machine(const std::string& prefix);
    static HiveFile User(const std::string& prefix);

private:
    // The file's current bytes and its open descriptor, with the fstat taken
    // before reading. False with `missing` when there is no file, else with
    // the reason.
    bool Load(UniqueFd& file, struct stat& identity, std::string& bytes, bool& missing, std::string& reason) const;
    // ReadWhole; with `index`, writes the index of a large hive read
    // (Read's fallback).
    std::shared_ptr<const HiveSnapshot> ReadWhole(bool index) const;
    // Says on standard error, once per file version, why the file is refused.
    void Report(const std::string& reason) const;
    // A new name beside the hive for a file to rename over it or its index.
    std::string Temporary() const;
    // The folder that holds the hive.
    std::string Folder() const;
    // Writes the index of a large hive read whole, when the prefix's lock is
    // free and the file is still the version read.
    void Index(const HiveSnapshot& snapshot, const struct stat& identity) const;

    std::string path_;
    std::u16string rootName_;
};
