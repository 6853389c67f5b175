// The Reg* functions of the runtime over the prefix's hive files:
// HKEY_LOCAL_MACHINE is system.reg, HKEY_CURRENT_USER is user.reg,
// HKEY_CLASSES_ROOT is the merged view of HKEY_CURRENT_USER\Software\Classes
// over HKEY_LOCAL_MACHINE\Software\Classes (reads try the user's key first,
// and read the machine's alone when the user's hive is refused; writes and
// deletes go to the machine's), and HKEY_USERS and
// HKEY_CURRENT_CONFIG are empty and read-only. RegOverridePredefKey redirects
// a predefined root to another key for the whole process.
// A key handle is a heap object naming (view, key path); it does not pin the
// key: once the key is deleted, calls through the handle answer
// ERROR_KEY_DELETED. Every call reads the newest hive file (a snapshot of it,
// read once per process and file version, which answers a lookup from the
// sections of its key alone); every write is
// one RegistryChange of its own, unless the thread has opened a change
// (BeginChange), which then takes the thread's reads and writes until
// EndChange stores it whole or drops it.
// RegEnumKeyExW lists a key's subkeys when a walk begins (index 0, or an
// index that neither repeats nor follows the handle's last one) and answers
// the walk's later calls from that list, in folded-name order: a walk costs
// one listing, and keys added or deleted meanwhile do not shift its names.
// Thread-safety: all members are safe from any thread; an open change
// belongs to its thread (a forked child does not inherit it). Failure: Win32
// error codes, never exceptions; ERROR_BADDB for a hive file that is refused.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <comrt/winbase.h>

#include "HiveSnapshot.h"
#include "RegTree.h"
#include "RegistryChange.h"

class Registry {
public:
    static LSTATUS Open(HKEY key, LPCWSTR subKey, PHKEY result);
    static LSTATUS Create(HKEY key, LPCWSTR subKey, PHKEY result, LPDWORD disposition);
    static LSTATUS SetValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size);
    static LSTATUS QueryValue(HKEY key, LPCWSTR name, LPDWORD type, LPBYTE data, LPDWORD size);
    static LSTATUS DeleteValue(HKEY key, LPCWSTR name);
    static LSTATUS DeleteKey(HKEY key, LPCWSTR subKey);
    static LSTATUS DeleteTree(HKEY key, LPCWSTR subKey);
    static LSTATUS EnumKey(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPWSTR cls, LPDWORD clsLength,
                           PFILETIME lastWrite);
    static LSTATUS EnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize);
    static LSTATUS Close(HKEY key);
    static LSTATUS Override(HKEY key, HKEY newKey);
    // Opens the calling thread's change (nested pairs make one change).
    static LSTATUS BeginChange();
    // Ends one level; the outermost stores the change when every level said
    // `commit` (ERROR_CANCELLED when one did not), else drops it.
    // ERROR_NOT_OWNER when no change is open.
    static LSTATUS EndChange(bool commit);

private:
    enum class View { Machine, User, Classes, Empty };
    struct Location {
        View view = View::Empty;
        std::u16string path;  // below the view's root; "" is the root
    };
    // A key inside one hive file.
    struct Place {
        View hive = View::Machine;  // Machine or User
        std::u16string path;
        bool skipIfRefused = false;  // the merged view reads on without a refused hive
    };
    static constexpr size_t kRoots = 6;  // 0x80000000 .. 0x80000005

    using Edit = std::function<LSTATUS(HiveChange& hive, bool& modified)>;
    // What reads of one hive see: the thread's change, or the snapshot of
    // the file.
    struct HiveView {
        const HiveChange* change = nullptr;
        std::shared_ptr<const HiveSnapshot> snapshot;

        bool Empty() const { return change == nullptr && !snapshot; }
        bool Exists(std::u16string_view path) const;
        std::vector<RegTree::Value> Values(std::u16string_view path) const;
        std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    };

    static Registry& Instance();
    static RegistryChange::Hive HiveOf(View hive);
    // What this thread's reads of `hive` see.
    static LSTATUS ReadHive(View hive, HiveView& view);
    // What reads of `place` see; an empty view, with ERROR_SUCCESS, when its
    // hive is refused and the place may be skipped.
    static LSTATUS ReadPlace(const Place& place, HiveView& view);
    // Runs `edit` on `hive`: as a change of its own, or in the thread's one.
    static LSTATUS WriteHive(View hive, const Edit& edit);
    static std::optional<size_t> RootIndex(HKEY key);
    // Where reads look, in order, and where writes go.
    static std::vector<Place> ReadPlaces(const Location& location);
    static Place WritePlace(const Location& location);
    static LSTATUS Exists(const Location& location, bool& exists);
    // The values a read of `location` sees, the first place's first; false
    // in `keyFound` when no place has the key.
    static LSTATUS Values(const Location& location, std::vector<RegTree::Value>& values, bool& keyFound);
    // The subkeys of a key as a walk through its indexes lists them, and the
    // snapshots they were read from, per place (null: none, or the thread's
    // change).
    struct Listing {
        std::vector<std::u16string> names;
        std::vector<std::shared_ptr<const HiveSnapshot>> sources;
    };
    // The subkeys a read of `location` sees, in folded-name order; false in
    // `keyFound` when no place has the key.
    static LSTATUS SubKeyNames(const Location& location, Listing& listing, bool& keyFound);
    // Whether every place of `location` still reads from the snapshots of
    // `listing` (so a key found then still exists).
    static bool Unchanged(const Location& location, const Listing& listing);
    // Hands out `value`'s bytes as RegQueryValueExW does.
    static LSTATUS CopyData(const RegTree::Value& value, LPDWORD type, LPBYTE data, LPDWORD size);
    // The values of the open key: ERROR_INVALID_HANDLE for a handle that is
    // none, ERROR_KEY_DELETED for a key deleted since it was opened, or what
    // reading its hive answered.
    static LSTATUS ValuesOf(HKEY key, std::vector<RegTree::Value>& values);
    // base + "\" + subKey without empty levels; false when a level cannot be
    // a key name (longer than 255 units, control characters, lone surrogates)
    // or the path is deeper than a key can be.
    static bool Join(const std::u16string& base, LPCWSTR subKey, std::u16string& path);

    bool Resolve(HKEY key, Location& location);
    HKEY NewHandle(Location location);
    // Drops `key`'s listing and, with `handle`, the handle; false when
    // there was no such handle.
    bool Forget(HKEY key, bool handle = true);
    void SetOverride(size_t root, std::optional<Location> location);

    // A walk through a key's indexes on a handle: the key's subkeys as
    // listed when it began, and the index asked for last.
    struct Walk {
        Location location;
        DWORD last = 0;
        std::shared_ptr<const Listing> listing;
    };
    // The listing of `key`'s walk when `index` continues it (the index asked
    // for last, or the next one, at `location`); null otherwise.
    std::shared_ptr<const Listing> Listed(HKEY key, const Location& location, DWORD index);
    void Remember(HKEY key, const Location& location, DWORD index, std::shared_ptr<const Listing> listing);

    std::mutex mutex_;
    std::unordered_map<HKEY, std::unique_ptr<Location>> handles_;
    std::unordered_map<HKEY, Walk> walks_;  // per handle, the predefined roots included
    std::optional<Location> overrides_[kRoots];
};
