#include "tools/comrt-reg/RegTool.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <vector>

#include "com/RegistryKey.h"
#include "tools/comrt-reg/RegData.h"

namespace {
constexpr const char* kDone = "The operation completed successfully.";
constexpr const char* kCanceled = "The operation was canceled by the user.";
constexpr DWORD kLongestValueName = 16383;

// One value of a key, read whole.
struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

LSTATUS ReadValue(HKEY key, const char16_t* name, Value& value) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    value.data.resize(size);
    status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
    return status;
}

std::vector<Value> Values(HKEY key) {
    std::vector<Value> values;
    std::u16string name(kLongestValueName + 1, u'\0');
    for (DWORD index = 0;; ++index) {
        Value value;
        DWORD length = kLongestValueName + 1, size = 0;
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            break;
        value.name.assign(name.data(), length);
        value.data.resize(size);
        length = kLongestValueName + 1;
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, &value.type, value.data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        value.data.resize(size);
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::u16string> SubKeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// The value a command names: null for the unnamed one.
const char16_t* NameOf(const RegCommand& command, std::u16string& storage) {
    if (!command.valueName) return nullptr;
    storage = RegData::Wide(*command.valueName);
    return storage.c_str();
}

std::string Shown(const char16_t* name) { return name == nullptr || *name == 0 ? "(Default)" : RegData::Narrow(name); }

// The name of the value of `key` that `name` finds, as the key spells it.
std::u16string Spelled(HKEY key, const char16_t* name) {
    const std::u16string given = name == nullptr ? u"" : name;
    const auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; };
    for (const Value& value : Values(key)) {
        if (value.name.size() == given.size() &&
            std::equal(given.begin(), given.end(), value.name.begin(), [&](char16_t a, char16_t b) {
                return fold(a) == fold(b);
            }))
            return value.name;
    }
    return given;
}
}  // namespace

int RegTool::Run(const RegCommand& command) {
    switch (command.operation) {
    case RegCommand::Operation::Query:
        return Query(command);
    case RegCommand::Operation::Add:
        return Add(command);
    case RegCommand::Operation::Delete:
        return Delete(command);
    case RegCommand::Operation::None:
        break;
    }
    return 1;
}

int RegTool::Fail(LSTATUS status) {
    switch (status) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_KEY_DELETED:
        err_ << "ERROR: The system was unable to find the specified registry key or value.\n";
        break;
    case ERROR_ACCESS_DENIED:
        err_ << "ERROR: Access is denied.\n";
        break;
    case ERROR_INVALID_PARAMETER:
        err_ << "ERROR: The parameter is incorrect.\n";
        break;
    case ERROR_BADDB:
        err_ << "ERROR: The configuration registry database is corrupt.\n";
        break;
    case ERROR_CANTWRITE:
        err_ << "ERROR: The configuration registry key could not be written.\n";
        break;
    default:
        err_ << "ERROR: The registry answered error " << status << ".\n";
        break;
    }
    return 1;
}

bool RegTool::Confirm(const std::string& question) {
    out_ << question << std::flush;
    std::string answer;
    const bool yes = std::getline(in_, answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    if (!yes) out_ << kCanceled << "\n";
    return yes;
}

void RegTool::PrintValue(const std::u16string& name, DWORD type, const std::string& data) {
    out_ << "    " << Shown(name.c_str()) << "    " << RegData::TypeName(type) << "    " << data << "\n";
}

void RegTool::QueryTree(HKEY key, const std::string& path, const char16_t* name, bool anyValue, unsigned& matches) {
    if (anyValue) {
        out_ << path << "\n";
        for (const Value& value : Values(key)) PrintValue(value.name, value.type, RegData::Show(value.type, value.data));
        out_ << "\n";
    } else if (Value value; ReadValue(key, name, value) == ERROR_SUCCESS) {
        ++matches;
        out_ << path << "\n";
        PrintValue(Spelled(key, name), value.type, RegData::Show(value.type, value.data));
        out_ << "\n";
    }
    for (const std::u16string& sub : SubKeys(key)) {
        RegistryKey child;
        if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, child.Receive()) == ERROR_SUCCESS)
            QueryTree(child.Get(), path + "\\" + RegData::Narrow(sub), name, anyValue, matches);
    }
}

int RegTool::Query(const RegCommand& command) {
    RegistryKey key;
    LSTATUS status = RegOpenKeyExW(command.root, command.subKey.c_str(), 0, KEY_READ, key.Receive());
    if (status != ERROR_SUCCESS) return Fail(status);
    std::u16string storage;
    const char16_t* name = NameOf(command, storage);
    const bool oneValue = command.valueName || command.defaultValue;
    if (command.recurse) {
        unsigned matches = 0;
        out_ << "\n";
        QueryTree(key.Get(), command.keyPath, name, !oneValue, matches);
        if (!oneValue) return 0;
        out_ << "End of search: " << matches << " match(es) found.\n";
        return matches > 0 ? 0 : 1;
    }
    if (oneValue) {
        Value value;
        status = ReadValue(key.Get(), name, value);
        if (status == ERROR_FILE_NOT_FOUND && command.defaultValue) {
            value.type = REG_SZ;  // reg.exe's answer for a default value never set
        } else if (status != ERROR_SUCCESS) {
            return Fail(status);
        }
        out_ << "\n" << command.keyPath << "\n";
        PrintValue(Spelled(key.Get(), name), value.type,
                   status == ERROR_SUCCESS ? RegData::Show(value.type, value.data) : "(value not set)");
        out_ << "\n";
        return 0;
    }
    out_ << "\n";
    const std::vector<Value> values = Values(key.Get());
    if (!values.empty()) {
        out_ << command.keyPath << "\n";
        for (const Value& value : values) PrintValue(value.name, value.type, RegData::Show(value.type, value.data));
        out_ << "\n";
    }
    for (const std::u16string& sub : SubKeys(key.Get())) out_ << command.keyPath << "\\" << RegData::Narrow(sub) << "\n";
    return 0;
}

int RegTool::Add(const RegCommand& command) {
    const std::optional<DWORD> type = command.type ? RegData::Type(*command.type) : std::optional<DWORD>(REG_SZ);
    if (!type) {
        err_ << "ERROR: Invalid syntax.\nType \"comrt-reg add /?\" for usage.\n";
        return 1;
    }
    std::vector<BYTE> bytes;
    std::string error;
    if (!RegData::Encode(*type, command.data.value_or(""), command.separator.value_or(""), bytes, error)) {
        err_ << error << "\n";
        return 1;
    }
    std::u16string storage;
    const char16_t* name = NameOf(command, storage);
    const bool setValue = command.valueName || command.defaultValue || command.type || command.data;
    if (setValue && !command.force) {
        RegistryKey existing;
        Value value;
        if (RegOpenKeyExW(command.root, command.subKey.c_str(), 0, KEY_READ, existing.Receive()) == ERROR_SUCCESS &&
            ReadValue(existing.Get(), name, value) == ERROR_SUCCESS &&
            !Confirm("Value " + Shown(name) + " exists, overwrite(Yes/No)? "))
            return 0;
    }
    LSTATUS status = ComrtBeginRegistryChange();
    if (status != ERROR_SUCCESS) return Fail(status);
    {
        RegistryKey key;
        status = RegCreateKeyExW(command.root, command.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
        if (status == ERROR_SUCCESS && setValue)
            status = RegSetValueExW(key.Get(), name, 0, *type, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    const LSTATUS stored = ComrtEndRegistryChange(status == ERROR_SUCCESS ? TRUE : FALSE);
    if (status == ERROR_SUCCESS) status = stored;
    if (status != ERROR_SUCCESS) return Fail(status);
    out_ << kDone << "\n";
    return 0;
}

int RegTool::Delete(const RegCommand& command) {
    RegistryKey key;
    LSTATUS status = RegOpenKeyExW(command.root, command.subKey.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
    if (status != ERROR_SUCCESS) return Fail(status);
    std::u16string storage;
    const char16_t* name = NameOf(command, storage);
    if (command.valueName || command.defaultValue) {
        Value value;
        status = ReadValue(key.Get(), name, value);
        if (status != ERROR_SUCCESS) return Fail(status);
        if (!command.force && !Confirm("Delete the registry value " + Shown(name) + " (Yes/No)? ")) return 0;
        status = RegDeleteValueW(key.Get(), name);
    } else if (command.allValues) {
        if (!command.force && !Confirm("Delete all values under the registry key " + command.keyPath + " (Yes/No)? "))
            return 0;
        status = ComrtBeginRegistryChange();
        if (status != ERROR_SUCCESS) return Fail(status);
        for (const Value& value : Values(key.Get())) {
            if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.Get(), value.name.c_str());
        }
        const LSTATUS stored = ComrtEndRegistryChange(status == ERROR_SUCCESS ? TRUE : FALSE);
        if (status == ERROR_SUCCESS) status = stored;
    } else {
        if (command.subKey.empty()) return Fail(ERROR_ACCESS_DENIED);  // a root stays
        if (!command.force && !Confirm("Permanently delete the registry key " + command.keyPath + " (Yes/No)? "))
            return 0;
        status = RegDeleteTreeW(command.root, command.subKey.c_str());
    }
    if (status != ERROR_SUCCESS) return Fail(status);
    out_ << kDone << "\n";
    return 0;
}
