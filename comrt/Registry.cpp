#include "Registry.h"

#include <pthread.h>

#include <cstring>
#include <map>
#include <new>
#include <unordered_set>

#include <comrt/comrt.h>

#include "Prefix.h"
#include "Utf.h"

namespace {
constexpr std::u16string_view kClasses = u"Software\\Classes";
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// A name the hive text can hold exactly: no control characters (they would
// break the line structure) and no lone surrogates (UTF-8 cannot carry them).
bool StorableName(std::u16string_view name) {
    for (char16_t c : name) {
        if (c < 0x20) return false;
    }
    bool replaced = false;
    Utf::ToUtf8(name, &replaced);
    return !replaced;
}

std::u16string Text(LPCWSTR text) { return text == nullptr ? std::u16string() : std::u16string(text); }

// The change a thread has opened, with its nesting depth.
struct ThreadChange {
    std::unique_ptr<RegistryChange> change;
    int depth = 0;
    bool commit = true;
};
thread_local ThreadChange threadChange;

// A forked child is another process: the change, and the lock it holds, stay
// the parent's. Closing the inherited descriptor does not release the lock.
void ForgetChangeInChild() {
    threadChange.change.reset();
    threadChange.depth = 0;
}

template <typename Function>
LSTATUS Guarded(Function function) {
    try {
        return function();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_CANTWRITE;
    }
}
}  // namespace

Registry& Registry::Instance() {
    // Never destroyed: keys may still be closed from other static destructors.
    static Registry* instance = [] {
        pthread_atfork(nullptr, nullptr, ForgetChangeInChild);
        return new Registry;
    }();
    return *instance;
}

RegistryChange::Hive Registry::HiveOf(View hive) {
    return hive == View::User ? RegistryChange::kUser : RegistryChange::kMachine;
}

bool Registry::HiveView::Exists(std::u16string_view path) const {
    return change != nullptr ? change->Exists(path) : snapshot->Exists(path);
}

std::vector<RegTree::Value> Registry::HiveView::Values(std::u16string_view path) const {
    return change != nullptr ? change->Values(path) : snapshot->Values(path);
}

std::vector<std::u16string> Registry::HiveView::SubKeys(std::u16string_view path) const {
    return change != nullptr ? change->SubKeys(path) : snapshot->SubKeys(path);
}

LSTATUS Registry::ReadHive(View hive, HiveView& view) {
    if (RegistryChange* change = threadChange.change.get()) {
        HiveChange* changed = nullptr;
        const LSTATUS status = change->Change(HiveOf(hive), changed);
        view = HiveView{changed, nullptr};  // the change outlives the call that reads it
        return status;
    }
    const std::string prefix = Prefix::Path();
    const HiveFile file = hive == View::User ? HiveFile::User(prefix) : HiveFile::Machine(prefix);
    std::shared_ptr<const HiveSnapshot> snapshot = file.Read();
    if (snapshot->Refused()) return ERROR_BADDB;
    view = HiveView{nullptr, std::move(snapshot)};
    return ERROR_SUCCESS;
}

LSTATUS Registry::ReadPlace(const Place& place, HiveView& view) {
    const LSTATUS status = ReadHive(place.hive, view);
    if (status == ERROR_SUCCESS) return status;
    view = HiveView{};
    return status == ERROR_BADDB && place.skipIfRefused ? ERROR_SUCCESS : status;
}

LSTATUS Registry::WriteHive(View hive, const Edit& edit) {
    RegistryChange* change = threadChange.change.get();
    std::optional<RegistryChange> own;
    if (change == nullptr) {
        own.emplace(Prefix::Path());
        const LSTATUS locked = own->Lock();
        if (locked != ERROR_SUCCESS) return locked;
        change = &*own;
    }
    HiveChange* hiveChange = nullptr;
    LSTATUS status = change->Change(HiveOf(hive), hiveChange);
    if (status != ERROR_SUCCESS) return status;
    bool modified = false;
    status = edit(*hiveChange, modified);
    if (status != ERROR_SUCCESS || !modified) return status;
    return own ? own->Commit() : ERROR_SUCCESS;
}

LSTATUS Registry::BeginChange() {
    Instance();  // its fork handler must be in place before a change is
    ThreadChange& state = threadChange;
    if (state.depth > 0) {
        ++state.depth;
        return ERROR_SUCCESS;
    }
    auto change = std::make_unique<RegistryChange>(Prefix::Path());
    const LSTATUS status = change->Lock();
    if (status != ERROR_SUCCESS) return status;
    state.change = std::move(change);
    state.depth = 1;
    state.commit = true;
    return ERROR_SUCCESS;
}

LSTATUS Registry::EndChange(bool commit) {
    ThreadChange& state = threadChange;
    if (state.depth == 0) return ERROR_NOT_OWNER;
    state.commit = state.commit && commit;
    if (--state.depth > 0) return ERROR_SUCCESS;
    const std::unique_ptr<RegistryChange> change = std::move(state.change);
    if (state.commit) return change->Commit();
    return commit ? ERROR_CANCELLED : ERROR_SUCCESS;
}

std::optional<size_t> Registry::RootIndex(HKEY key) {
    const auto value = reinterpret_cast<ULONG_PTR>(key);
    if (value < 0xFFFFFFFF80000000ull || value >= 0xFFFFFFFF80000000ull + kRoots) return std::nullopt;
    return static_cast<size_t>(value - 0xFFFFFFFF80000000ull);
}

std::vector<Registry::Place> Registry::ReadPlaces(const Location& location) {
    switch (location.view) {
    case View::Machine:
    case View::User:
        return {Place{location.view, location.path}};
    case View::Classes: {
        std::u16string path(kClasses);
        if (!location.path.empty()) path += u"\\" + location.path;
        // One user's unreadable hive must not stop the programs of the machine.
        return {Place{View::User, path, true}, Place{View::Machine, path}};
    }
    case View::Empty:
        break;
    }
    return {};
}

Registry::Place Registry::WritePlace(const Location& location) {
    std::vector<Place> places = ReadPlaces(location);
    return places.back();
}

LSTATUS Registry::Exists(const Location& location, bool& exists) {
    exists = location.path.empty();  // the roots always exist
    for (const Place& place : ReadPlaces(location)) {
        if (exists) break;
        HiveView view;
        const LSTATUS status = ReadPlace(place, view);
        if (status != ERROR_SUCCESS) return status;
        exists = !view.Empty() && view.Exists(place.path);
    }
    return ERROR_SUCCESS;
}

bool Registry::Join(const std::u16string& base, LPCWSTR subKey, std::u16string& path) {
    const std::u16string sub = RegTree::Normalise(Text(subKey));
    for (size_t start = 0; start < sub.size();) {
        size_t end = sub.find(u'\\', start);
        if (end == std::u16string::npos) end = sub.size();
        if (end - start > kMaxKeyNameLength) return false;
        start = end + 1;
    }
    if (!StorableName(sub)) return false;
    path = base;
    if (!sub.empty()) path += (path.empty() ? u"" : u"\\") + sub;
    return RegTree::ValidDepth(path);
}

bool Registry::Resolve(HKEY key, Location& location) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto root = RootIndex(key)) {
        if (overrides_[*root]) {
            location = *overrides_[*root];
            return true;
        }
        switch (*root) {
        case 0:
            location = {View::Classes, u""};
            return true;
        case 1:
            location = {View::User, u""};
            return true;
        case 2:
            location = {View::Machine, u""};
            return true;
        case 3:
        case 5:
            location = {View::Empty, u""};
            return true;
        default:
            return false;
        }
    }
    auto it = handles_.find(key);
    if (it == handles_.end()) return false;
    location = *it->second;
    return true;
}

HKEY Registry::NewHandle(Location location) {
    auto object = std::make_unique<Location>(std::move(location));
    HKEY handle = reinterpret_cast<HKEY>(object.get());
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.emplace(handle, std::move(object));
    return handle;
}

bool Registry::Forget(HKEY key, bool handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    walks_.erase(key);
    return handle && handles_.erase(key) > 0;
}

void Registry::SetOverride(size_t root, std::optional<Location> location) {
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_[root] = std::move(location);
}

LSTATUS Registry::Open(HKEY key, LPCWSTR subKey, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Location target;
    if (!Instance().Resolve(key, target)) return ERROR_INVALID_HANDLE;
    if (!Join(target.path, subKey, target.path)) return ERROR_FILE_NOT_FOUND;
    bool exists = false;
    const LSTATUS status = Exists(target, exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_FILE_NOT_FOUND;
    *result = Instance().NewHandle(std::move(target));
    return ERROR_SUCCESS;
}

LSTATUS Registry::Create(HKEY key, LPCWSTR subKey, PHKEY result, LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Location base;
    if (!Instance().Resolve(key, base)) return ERROR_INVALID_HANDLE;
    if (base.view == View::Empty) return ERROR_ACCESS_DENIED;
    Location target = base;
    if (!Join(base.path, subKey, target.path)) return ERROR_INVALID_PARAMETER;
    // The merged view's base may live in the user hive only; check it there.
    if (base.view == View::Classes) {
        bool exists = false;
        const LSTATUS status = Exists(base, exists);
        if (status != ERROR_SUCCESS) return status;
        if (!exists) return ERROR_KEY_DELETED;
    }
    const Place basePlace = WritePlace(base);
    const Place place = WritePlace(target);
    bool created = false;
    const LSTATUS status = WriteHive(place.hive, [&](HiveChange& hive, bool& modified) -> LSTATUS {
        if (base.view != View::Classes && !hive.Exists(basePlace.path)) return ERROR_KEY_DELETED;
        hive.Create(place.path, &created);
        modified = created;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = Instance().NewHandle(std::move(target));
    return ERROR_SUCCESS;
}

LSTATUS Registry::SetValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
    Location location;
    if (!Instance().Resolve(key, location)) return ERROR_INVALID_HANDLE;
    if (location.view == View::Empty) return ERROR_ACCESS_DENIED;
    if (data == nullptr && size > 0) return ERROR_INVALID_PARAMETER;
    RegTree::Value value;
    value.name = Text(name);
    value.type = type;
    if (value.name.size() > kMaxValueNameLength || !StorableName(value.name)) return ERROR_INVALID_PARAMETER;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // Text up to the first zero unit, stored with one terminating zero.
        size_t units = 0;
        while (units < size / 2 && (data[2 * units] != 0 || data[2 * units + 1] != 0)) ++units;
        value.data.assign(data, data + 2 * units);
        value.data.push_back(0);
        value.data.push_back(0);
    } else {
        if (type == REG_DWORD && size != sizeof(DWORD)) return ERROR_INVALID_PARAMETER;
        if (size > 0) value.data.assign(data, data + size);
    }
    if (location.view == View::Classes) {
        bool exists = false;
        const LSTATUS status = Exists(location, exists);
        if (status != ERROR_SUCCESS) return status;
        if (!exists) return ERROR_KEY_DELETED;
    }
    const Place place = WritePlace(location);
    return WriteHive(place.hive, [&](HiveChange& hive, bool& modified) -> LSTATUS {
        if (!hive.Exists(place.path)) {
            if (location.view != View::Classes) return ERROR_KEY_DELETED;
            hive.Create(place.path);
        }
        const std::vector<RegTree::Value> values = hive.Values(place.path);
        const RegTree::Value* old = RegTree::FindValue(values, value.name);
        if (old != nullptr && old->type == value.type && old->data == value.data) return ERROR_SUCCESS;
        hive.SetValue(place.path, std::move(value));
        modified = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS Registry::Values(const Location& location, std::vector<RegTree::Value>& values, bool& keyFound) {
    keyFound = location.path.empty();
    values.clear();
    std::unordered_set<std::u16string> names;
    for (const Place& place : ReadPlaces(location)) {
        HiveView view;
        const LSTATUS status = ReadPlace(place, view);
        if (status != ERROR_SUCCESS) return status;
        if (view.Empty() || !view.Exists(place.path)) continue;
        keyFound = true;
        // A name the place before has hides the same name here.
        const size_t before = values.size();
        for (RegTree::Value& value : view.Values(place.path)) {
            if (before == 0 || !names.count(RegTree::Fold(value.name))) values.push_back(std::move(value));
        }
        for (size_t i = before; i < values.size(); ++i) names.insert(RegTree::Fold(values[i].name));
    }
    return ERROR_SUCCESS;
}

LSTATUS Registry::CopyData(const RegTree::Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type != nullptr) *type = value.type;
    const auto needed = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS Registry::ValuesOf(HKEY key, std::vector<RegTree::Value>& values) {
    Location location;
    if (!Instance().Resolve(key, location)) return ERROR_INVALID_HANDLE;
    bool keyFound = false;
    const LSTATUS status = Values(location, values, keyFound);
    if (status != ERROR_SUCCESS) return status;
    return keyFound ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LSTATUS Registry::QueryValue(HKEY key, LPCWSTR name, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<RegTree::Value> values;
    if (const LSTATUS status = ValuesOf(key, values); status != ERROR_SUCCESS) return status;
    const RegTree::Value* value = RegTree::FindValue(values, Text(name));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    return CopyData(*value, type, data, size);
}

LSTATUS Registry::EnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD type, LPBYTE data,
                            LPDWORD dataSize) {
    if (name == nullptr || nameLength == nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::vector<RegTree::Value> values;
    if (const LSTATUS status = ValuesOf(key, values); status != ERROR_SUCCESS) return status;
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const RegTree::Value& value = values[index];
    if (value.name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    value.name.copy(name, value.name.size());
    name[value.name.size()] = 0;
    *nameLength = static_cast<DWORD>(value.name.size());
    return CopyData(value, type, data, dataSize);
}

LSTATUS Registry::DeleteValue(HKEY key, LPCWSTR name) {
    Location location;
    if (!Instance().Resolve(key, location)) return ERROR_INVALID_HANDLE;
    if (location.view == View::Empty) return ERROR_ACCESS_DENIED;
    const Place place = WritePlace(location);
    return WriteHive(place.hive, [&](HiveChange& hive, bool& modified) -> LSTATUS {
        if (!hive.Exists(place.path)) return location.view == View::Classes ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        if (!hive.RemoveValue(place.path, Text(name))) return ERROR_FILE_NOT_FOUND;
        modified = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS Registry::DeleteKey(HKEY key, LPCWSTR subKey) {
    Location target;
    if (!Instance().Resolve(key, target)) return ERROR_INVALID_HANDLE;
    if (!Join(target.path, subKey, target.path)) return ERROR_FILE_NOT_FOUND;
    if (target.view == View::Empty || target.path.empty()) return ERROR_ACCESS_DENIED;
    const Place place = WritePlace(target);
    return WriteHive(place.hive, [&](HiveChange& hive, bool& modified) -> LSTATUS {
        if (!hive.Exists(place.path)) return ERROR_FILE_NOT_FOUND;
        if (hive.HasSubKeys(place.path)) return ERROR_ACCESS_DENIED;
        hive.RemoveTree(place.path, false);
        modified = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS Registry::DeleteTree(HKEY key, LPCWSTR subKey) {
    Location target;
    if (!Instance().Resolve(key, target)) return ERROR_INVALID_HANDLE;
    const bool keepSelf = subKey == nullptr || *subKey == 0;
    if (!Join(target.path, subKey, target.path)) return ERROR_FILE_NOT_FOUND;
    if (target.view == View::Empty) return keepSelf ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    if (!keepSelf && target.path.empty()) return ERROR_ACCESS_DENIED;
    const Place place = WritePlace(target);
    return WriteHive(place.hive, [&](HiveChange& hive, bool& modified) -> LSTATUS {
        if (!hive.Exists(place.path)) {
            // The merged root or a key that lives only in the user hive has
            // nothing to delete in the machine hive.
            if (keepSelf && target.view == View::Classes) return ERROR_SUCCESS;
            return keepSelf ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
        }
        hive.RemoveTree(place.path, keepSelf);
        modified = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS Registry::SubKeyNames(const Location& location, Listing& listing, bool& keyFound) {
    // Folded name -> written name; the first place (the user's) wins.
    std::map<std::u16string, std::u16string> merged;
    keyFound = location.path.empty();
    for (const Place& place : ReadPlaces(location)) {
        HiveView view;
        const LSTATUS status = ReadPlace(place, view);
        if (status != ERROR_SUCCESS) return status;
        listing.sources.push_back(view.change != nullptr ? nullptr : view.snapshot);
        if (view.Empty() || !view.Exists(place.path)) continue;
        keyFound = true;
        for (std::u16string& sub : view.SubKeys(place.path)) merged.try_emplace(RegTree::Fold(sub), std::move(sub));
    }
    listing.names.reserve(merged.size());
    for (auto& [folded, name] : merged) listing.names.push_back(std::move(name));
    return ERROR_SUCCESS;
}

bool Registry::Unchanged(const Location& location, const Listing& listing) {
    const std::vector<Place> places = ReadPlaces(location);
    if (places.size() != listing.sources.size()) return false;
    for (size_t i = 0; i < places.size(); ++i) {
        HiveView view;
        if (ReadPlace(places[i], view) != ERROR_SUCCESS || view.change != nullptr) return false;
        // A hive without a file is read anew each time, and stays empty.
        const auto none = [](const std::shared_ptr<const HiveSnapshot>& snapshot) {
            return snapshot && snapshot->Whole() && snapshot->Bytes().empty();
        };
        if (view.snapshot != listing.sources[i] && !(none(view.snapshot) && none(listing.sources[i]))) return false;
    }
    return true;
}

std::shared_ptr<const Registry::Listing> Registry::Listed(HKEY key, const Location& location, DWORD index) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = walks_.find(key);
    if (it == walks_.end()) return nullptr;
    Walk& walk = it->second;
    const bool sameKey = walk.location.view == location.view && walk.location.path == location.path;
    if (!sameKey || index == 0 || (index != walk.last && index != walk.last + 1)) return nullptr;
    walk.last = index;
    return walk.listing;
}

void Registry::Remember(HKEY key, const Location& location, DWORD index, std::shared_ptr<const Listing> listing) {
    std::lock_guard<std::mutex> lock(mutex_);
    walks_[key] = Walk{location, index, std::move(listing)};
}

LSTATUS Registry::EnumKey(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPWSTR cls, LPDWORD clsLength,
                          PFILETIME lastWrite) {
    if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
    Location location;
    if (!Instance().Resolve(key, location)) return ERROR_INVALID_HANDLE;
    // A walk through the indexes one by one lists the subkeys once, at its
    // first call, and answers the later calls from that list: each call
    // listing them anew made the walk quadratic, and a key added or deleted
    // meanwhile shifted the names under the caller's index. A later call
    // asks again whether the key exists only when a hive changed since.
    std::shared_ptr<const Listing> listing = Instance().Listed(key, location, index);
    bool keyFound = true;
    LSTATUS status = ERROR_SUCCESS;
    if (listing && !Unchanged(location, *listing)) status = Exists(location, keyFound);
    if (status != ERROR_SUCCESS) return status;
    if (!listing && keyFound) {
        auto listed = std::make_shared<Listing>();
        status = SubKeyNames(location, *listed, keyFound);
        if (status != ERROR_SUCCESS) return status;
        listing = std::move(listed);
        if (keyFound) Instance().Remember(key, location, index, listing);
    }
    if (!keyFound) return ERROR_KEY_DELETED;
    const std::vector<std::u16string>& names = listing->names;
    if (index >= names.size()) {
        Instance().Forget(key, false);  // the walk is over
        return ERROR_NO_MORE_ITEMS;
    }
    const std::u16string& found = names[index];
    if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    found.copy(name, found.size());
    name[found.size()] = 0;
    *nameLength = static_cast<DWORD>(found.size());
    if (cls != nullptr && clsLength != nullptr && *clsLength > 0) cls[0] = 0;
    if (clsLength != nullptr) *clsLength = 0;
    if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS Registry::Close(HKEY key) {
    if (RootIndex(key)) return ERROR_SUCCESS;
    return Instance().Forget(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS Registry::Override(HKEY key, HKEY newKey) {
    const auto root = RootIndex(key);
    if (!root || *root == 4) return ERROR_INVALID_HANDLE;
    if (newKey == nullptr) {
        Instance().SetOverride(*root, std::nullopt);
        return ERROR_SUCCESS;
    }
    Location location;
    if (!Instance().Resolve(newKey, location)) return ERROR_INVALID_HANDLE;
    Instance().SetOverride(*root, std::move(location));
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    return Guarded([&] { return Registry::Open(key, subKey, result); });
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                        LPDWORD disposition) {
    return Guarded([&] { return Registry::Create(key, subKey, result, disposition); });
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return Guarded([&] { return Registry::SetValue(key, name, type, data, size); });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    return Guarded([&] { return Registry::QueryValue(key, name, type, data, size); });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
    return Guarded([&] { return Registry::DeleteValue(key, name); });
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    return Guarded([&] { return Registry::DeleteKey(key, subKey); });
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    return Guarded([&] { return Registry::DeleteTree(key, subKey); });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPWSTR cls, LPDWORD clsLength,
                      PFILETIME lastWrite) {
    return Guarded([&] { return Registry::EnumKey(key, index, name, nameLength, cls, clsLength, lastWrite); });
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    return Guarded([&] { return Registry::EnumValue(key, index, name, nameLength, type, data, dataSize); });
}

LSTATUS RegCloseKey(HKEY key) {
    return Guarded([&] { return Registry::Close(key); });
}

LSTATUS RegOverridePredefKey(HKEY key, HKEY newKey) {
    return Guarded([&] { return Registry::Override(key, newKey); });
}

LSTATUS ComrtBeginRegistryChange() {
    return Guarded([] { return Registry::BeginChange(); });
}

LSTATUS ComrtEndRegistryChange(BOOL commit) {
    return Guarded([&] { return Registry::EndChange(commit != FALSE); });
}
