#include "AnsiCodePage.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iterator>
#include <mutex>
#include <string>

#include <comrt/comrt.h>

#include "Prefix.h"
#include "SingleByteCodePage.h"

namespace {
constexpr UINT kUtf8 = 65001;

bool Converted(UINT codePage) { return codePage == kUtf8 || SingleByteCodePage::Find(codePage) != nullptr; }

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The pages read last, with the machine hive they were read from.
struct Cache {
    std::mutex mutex;
    bool filled = false;
    std::string hive;
    bool present = false;
    struct stat identity {};
    UINT ansi = kUtf8;
    UINT oem = kUtf8;
};

Cache& TheCache() {
    // Never destroyed: conversions may run in other static destructors.
    static Cache* cache = new Cache;
    return *cache;
}
}  // namespace

UINT AnsiCodePage::FromCharset(std::string_view charset) {
    std::string key;
    for (char c : charset) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) key.push_back(c);
    }
    // Each ISO and KOI8 set counts as the Windows code page of its languages.
    static const struct {
        const char* name;
        UINT codePage;
    } kNames[] = {
        {"UTF8", kUtf8},      {"ISO88591", 1252}, {"ISO885915", 1252}, {"ISO88592", 1250}, {"ISO88595", 1251},
        {"KOI8R", 1251},      {"KOI8U", 1251},    {"ISO88597", 1253},  {"ISO88599", 1254}, {"ISO88598", 1255},
        {"ISO88596", 1256},   {"ISO885913", 1257}, {"ISO88594", 1257}, {"IBM437", 437},    {"CP437", 437},
        {"IBM850", 850},      {"CP850", 850},
    };
    for (const auto& known : kNames)
        if (key == known.name) return known.codePage;
    for (std::string_view lead : {"CP", "WINDOWS"}) {
        if (key.size() == lead.size() + 4 && key.compare(0, lead.size(), lead) == 0) {
            const UINT number = static_cast<UINT>(std::atoi(key.c_str() + lead.size()));
            if (number >= 1250 && number <= 1258) return number;
        }
    }
    return 0;
}

UINT AnsiCodePage::RegistryValue(LPCWSTR name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    char16_t text[16] = {};
    DWORD type = 0;
    DWORD size = sizeof text - sizeof text[0];
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
    UINT codePage = 0;
    for (size_t i = 0; i < size / sizeof text[0] && text[i] != 0; ++i) {
        if (text[i] < u'0' || text[i] > u'9' || codePage > 9999) return 0;
        codePage = codePage * 10 + (text[i] - u'0');
    }
    return Converted(codePage) ? codePage : 0;
}

UINT AnsiCodePage::LocaleDefault() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = std::getenv(variable);
        if (name != nullptr && *name != 0) break;
    }
    // "de_DE.ISO-8859-1@euro": the character set follows the dot.
    const std::string_view text = name != nullptr ? name : "";
    const size_t dot = text.find('.');
    if (dot != std::string_view::npos) {
        const UINT codePage = FromCharset(text.substr(dot + 1, text.find('@', dot) - dot - 1));
        if (codePage != 0) return codePage;
    }
    // Otherwise the locale's own definition tells ("de_DE" is ISO-8859-1).
    UINT codePage = 0;
    if (locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
        codePage = FromCharset(nl_langinfo_l(CODESET, locale));
        freelocale(locale);
    }
    return codePage != 0 ? codePage : kUtf8;
}

AnsiCodePage::Pages AnsiCodePage::Read() {
    Pages pages{RegistryValue(u"ACP"), RegistryValue(u"OEMCP")};
    if (pages.ansi == 0) pages.ansi = LocaleDefault();
    if (pages.oem == 0) pages.oem = pages.ansi;
    return pages;
}

AnsiCodePage::Pages AnsiCodePage::Current() {
    const std::string hive = Prefix::Path() + "/system.reg";
    struct stat now {};
    const bool present = stat(hive.c_str(), &now) == 0;
    Cache& cache = TheCache();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (cache.filled && cache.hive == hive && cache.present == present &&
            (!present || SameFile(cache.identity, now)))
            return {cache.ansi, cache.oem};
    }
    // Read outside the lock; a hive replaced meanwhile has another identity
    // than the one kept here, so the next call reads again.
    const Pages pages = Read();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.filled = true;
    cache.hive = hive;
    cache.present = present;
    cache.identity = now;
    cache.ansi = pages.ansi;
    cache.oem = pages.oem;
    return pages;
}

UINT AnsiCodePage::Ansi() { return Current().ansi; }
UINT AnsiCodePage::Oem() { return Current().oem; }
