#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <comrt/comrt.h>

#include "RegistryReader.h"
#include "ScratchPrefix.h"

namespace {
using Names = std::vector<std::u16string>;

// Key handle closed at scope end.
class Key {
public:
    Key() = default;
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    PHKEY Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LSTATUS SetText(HKEY key, const char16_t* name, std::u16string_view text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LSTATUS SetNumber(HKEY key, const char16_t* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

// Creates or opens root\path with every right, into `key` when given.
LSTATUS CreateKey(HKEY root, const char16_t* path, Key* key = nullptr, DWORD* disposition = nullptr) {
    Key created;
    return RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, (key ? key : &created)->Out(),
                           disposition);
}

// Runs `body` in a forked child; answers its exit code (-1 when it died).
pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The identity of a file: a rewrite replaces the file, so it changes.
ino_t FileId(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }

    ScratchPrefix prefix;
};

TEST_F(RegistryTest, CreateSetQueryEnumerateDelete) {
    Key key;
    DWORD disposition = 0;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API", &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(SetText(key.Get(), nullptr, u"default"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"Path", u"C:\\ProgramData"), ERROR_SUCCESS);
    ASSERT_EQ(SetNumber(key.Get(), u"Count", 42), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API\\Zeta"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API\\alpha"), ERROR_SUCCESS);

    Key again;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ombrel\\api", &again, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"software\\OMBREL\\Api", u""), u"default");
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API", u"PATH"), u"C:\\ProgramData");
    DWORD number = 0, type = 0, size = sizeof number;
    ASSERT_EQ(RegQueryValueExW(key.Get(), u"count", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API"), (Names{u"alpha", u"Zeta"}));

    EXPECT_EQ(RegDeleteValueW(key.Get(), u"Path"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.Get(), u"Path"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API", u"Path"), std::nullopt);

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(key.Get(), u"alpha"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key.Get(), u"alpha"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(key.Get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\API"), Names{});
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Count", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Ombrel"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software"), Names{});
    EXPECT_EQ(SetText(key.Get(), u"x", u"y"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Ombrel"), ERROR_FILE_NOT_FOUND);
}

// The name at `index` of `key`'s subkeys, in a buffer of `room` units.
LSTATUS EnumAt(HKEY key, DWORD index, std::u16string& name, DWORD room = 256) {
    char16_t buffer[256];
    const LSTATUS status = RegEnumKeyExW(key, index, buffer, &room, nullptr, nullptr, nullptr, nullptr);
    name = status == ERROR_SUCCESS ? std::u16string(buffer, room) : std::u16string();
    return status;
}

TEST_F(RegistryTest, WalkThroughSubkeysGivesEachOnceWhileKeysChange) {
    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);
    Names expected;
    for (char16_t c = u'k'; c <= u'z'; ++c) {
        expected.push_back(std::u16string(u"Sub") + c);
        ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, (u"Software\\Walk\\" + expected.back()).c_str()), ERROR_SUCCESS);
    }
    ASSERT_EQ(ComrtEndRegistryChange(TRUE), ERROR_SUCCESS);
    Key walk;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Walk", 0, KEY_ALL_ACCESS, walk.Out()), ERROR_SUCCESS);
    // Each step adds a key that sorts first: the walk still gives every
    // subkey it began with once, in order. A call whose buffer is too small
    // is repeated at the same index.
    Names walked;
    std::u16string name;
    for (DWORD index = 0; EnumAt(walk.Get(), index, name) != ERROR_NO_MORE_ITEMS && index < 100; ++index) {
        if (index == 3) {
            ASSERT_EQ(EnumAt(walk.Get(), index, name, 2), ERROR_MORE_DATA);
        }
        ASSERT_EQ(EnumAt(walk.Get(), index, name), ERROR_SUCCESS);
        walked.push_back(name);
        ASSERT_EQ(CreateKey(walk.Get(), (u"Added" + std::u16string(1, char16_t(u'a' + index))).c_str()), ERROR_SUCCESS);
    }
    EXPECT_EQ(walked, expected);
    // A new walk sees the keys added; deleting the first subkey until none
    // is left ends.
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Walk").size(), 2 * expected.size());
    size_t deleted = 0;
    for (; EnumAt(walk.Get(), 0, name) == ERROR_SUCCESS && deleted < 100; ++deleted)
        ASSERT_EQ(RegDeleteKeyW(walk.Get(), name.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(deleted, 2 * expected.size());
    // A key deleted in the middle of a walk answers so.
    ASSERT_EQ(CreateKey(walk.Get(), u"One"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(walk.Get(), u"Two"), ERROR_SUCCESS);
    ASSERT_EQ(EnumAt(walk.Get(), 0, name), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Walk"), ERROR_SUCCESS);
    EXPECT_EQ(EnumAt(walk.Get(), 1, name), ERROR_KEY_DELETED);
}

TEST_F(RegistryTest, HiveFileHasTheEditorFormat) {
    Key key;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Ombrel", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), nullptr, u"C:\\dir \"q\""), ERROR_SUCCESS);
    ASSERT_EQ(SetNumber(key.Get(), u"Count", 0x2a), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"Two\nLines", u"x"), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(SetText(key.Get(), u"Lines", u"a\nb"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(key.Get(), u"Empty"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Classes"), ERROR_SUCCESS);
    EXPECT_EQ(prefix.ReadFile("system.reg"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Ombrel]\n"
              "@=\"C:\\\\dir \\\"q\\\"\"\n"
              "\"Count\"=dword:0000002a\n"
              "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\Empty]\n\n");
    EXPECT_EQ(prefix.ReadFile("user.reg"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Classes]\n\n");
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Ombrel", u"Lines"), u"a\nb");
}

// A hive file in the given form: the text's "\n" become `newline`, and the
// bytes are UTF-8 or UTF-16LE, after `mark` (a byte-order mark or nothing).
std::string HiveBytes(const std::string& text, const std::string& mark, const std::string& newline, bool utf16) {
    std::string lines;
    for (char c : text) lines += c == '\n' ? newline : std::string(1, c);
    if (!utf16) return mark + lines;
    std::u16string wide(lines.size(), u'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    std::string bytes = mark;
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST_F(RegistryTest, RewritesKeepWhatTheyDoNotChange) {
    // A key may have several sections; the last spelling of a value holds.
    const std::string before =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Doomed]\n"
        "@=\"bye\"\n\n"
        "; caf\xc3\xa9: written by hand\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"
        "\"Bin\"=hex:01,02,\\\n"
        "  03\n"
        "; between values\n"
        "\"Old\"=\"1\"\n"
        "\"Gone\"=dword:00000001\n\n"
        "[HKEY_CURRENT_USER\\Software\\Foreign]\n"
        "\"Other\"=\"kept\"\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\keep\\Deep\\Er]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\KEEP]\n"
        "\"Old\"=\"0\"\n\n"
        "; trailing comment\n";
    const std::string after =
        "Windows Registry Editor Version 5.00\n\n"
        "; caf\xc3\xa9: written by hand\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"
        "\"Bin\"=hex:01,02,\\\n"
        "  03\n"
        "; between values\n\n"
        "[HKEY_CURRENT_USER\\Software\\Foreign]\n"
        "\"Other\"=\"kept\"\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\KEEP]\n"
        "\"Old\"=\"2\"\n"
        "\"New\"=\"3\"\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Keep\\Deep]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Keep\\Sub]\n\n"
        "; trailing comment\n";
    const struct { const char* name; std::string mark, newline; bool utf16; } forms[] = {
        {"UTF-8", "", "\n", false},
        {"UTF-8 with a byte-order mark and CR LF", "\xef\xbb\xbf", "\r\n", false},
        {"UTF-16LE as the registry editor exports", "\xff\xfe", "\r\n", true},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        ScratchPrefix fresh;
        fresh.WriteFile("system.reg", HiveBytes(before, form.mark, form.newline, form.utf16));
        Key key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Keep", 0, KEY_ALL_ACCESS, key.Out()), ERROR_SUCCESS);
        BYTE bytes[8] = {};
        DWORD type = 0, size = sizeof bytes;
        ASSERT_EQ(RegQueryValueExW(key.Get(), u"Bin", nullptr, &type, bytes, &size), ERROR_SUCCESS);
        EXPECT_EQ(std::vector<BYTE>(bytes, bytes + size), (std::vector<BYTE>{1, 2, 3}));
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Foreign", 0, KEY_READ, Key().Out()),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegistryReader::String(key.Get(), u"", u"Old"), u"0");

        ASSERT_EQ(SetText(key.Get(), u"Old", u"2"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(key.Get(), u"Gone"), ERROR_SUCCESS);
        ASSERT_EQ(SetText(key.Get(), u"New", u"3"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Doomed"), ERROR_SUCCESS);
        // The key that only its subkey's section implied keeps existing; its
        // section names it by its ancestors' names as they were first written.
        ASSERT_EQ(RegDeleteKeyW(key.Get(), u"Deep\\Er"), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(key.Get(), u"Sub"), ERROR_SUCCESS);
        EXPECT_EQ(fresh.ReadFile("system.reg"), HiveBytes(after, form.mark, form.newline, form.utf16));
    }
}

TEST_F(RegistryTest, RewritesPlaceKeysMadeAgainAmongTheOldOnes) {
    // A key deleted and made again in one change keeps its old sections,
    // without the old values; a new key goes after the last section of the
    // nearest key before it that still has one; a deleted key's sections go
    // with the comments above them.
    prefix.WriteFile("system.reg",
                     "Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_LOCAL_MACHINE]\n\"Root\"=\"r\"\n\n"
                     "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\n"
                     "; above C\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n@=\"deep\"\n\n"
                     "[HKEY_LOCAL_MACHINE\\D]\n\n"
                     "[HKEY_LOCAL_MACHINE\\a\\b]\n\"y\"=dword:00000002\n\"Y\"=dword:00000003\n\n"
                     "; above Z\n[HKEY_LOCAL_MACHINE\\Z]\n\"z\"=\"last\"\n");
    const auto set = [](const char16_t* path, const char16_t* name, std::u16string_view text) {
        Key key;
        const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key.Out());
        return status != ERROR_SUCCESS ? status : SetText(key.Get(), name, text);
    };
    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"A"), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"A\\B\\C"), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"b\\New"), ERROR_SUCCESS);
    EXPECT_EQ(set(u"A\\B", u"Added", u"v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Z"), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Zed"), ERROR_SUCCESS);
    EXPECT_EQ(set(u"", u"root", u"R2"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u""), (Names{u"A", u"b", u"D", u"Zed"}));
    ASSERT_EQ(ComrtEndRegistryChange(TRUE), ERROR_SUCCESS);
    EXPECT_EQ(prefix.ReadFile("system.reg"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE]\n\"Root\"=\"R2\"\n\n"
              "[HKEY_LOCAL_MACHINE\\A]\n\n"
              "; above C\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\n"
              "[HKEY_LOCAL_MACHINE\\b]\n\n"
              "[HKEY_LOCAL_MACHINE\\b\\New]\n\n"
              "[HKEY_LOCAL_MACHINE\\D]\n\n"
              "[HKEY_LOCAL_MACHINE\\Zed]\n\n"
              "[HKEY_LOCAL_MACHINE\\a\\b]\n\"Added\"=\"v\"\n");
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// UTF-16LE bytes after a byte-order mark, whatever the units.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes("\xff\xfe");
    for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

TEST_F(RegistryTest, RefusesFilesItCannotReadAndLeavesThemAlone) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const struct { const char* name; std::string bytes; } cases[] = {
        {"Wine's own format", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                              "[Software\\\\Classes\\\\CLSID] 1700000000\n#time=1d9\n@=\"x\"\n"},
        {"REGEDIT4", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n"},
        {"UTF-16 big-endian", std::string("\xfe\xff\0W\0i\0n", 8)},
        {"UTF-16 without a byte-order mark", std::string("W\0i\0n\0d\0o\0w\0s\0", 14)},
        {"odd UTF-16 length", "\xff\xfeW"},
        {"half a UTF-16 surrogate pair",
         Utf16Le(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\Software\\\xd800]\r\n")},
        {"invalid UTF-8", header + "[HKEY_LOCAL_MACHINE\\Software\\\xc3(]\n"},
        {"a stray line", header + "[HKEY_LOCAL_MACHINE\\Software]\ngarbage line\n"},
        {"a malformed number", header + "[HKEY_LOCAL_MACHINE\\Software]\n\"Broken\"=dword:zz\n"},
        {"a value deletion", header + "[HKEY_LOCAL_MACHINE\\Software]\n\"x\"=-\n"},
        {"a key deletion", header + "[-HKEY_LOCAL_MACHINE\\Software\\X]\n"},
        {"a value outside any key", header + "\"x\"=\"y\"\n"},
        {"an unfinished continuation", header + "[HKEY_LOCAL_MACHINE\\Software]\n\"Bin\"=hex:01,\\\n"},
        {"an unclosed section", header + "[HKEY_LOCAL_MACHINE\\Software\n"},
        {"a key 513 levels deep", header + "[HKEY_LOCAL_MACHINE" + Repeat("\\k", 513) + "]\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchPrefix fresh;
        fresh.WriteFile("system.reg", test.bytes);
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, Key().Out()), ERROR_BADDB);
        EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\New"), ERROR_BADDB);
        EXPECT_EQ(fresh.ReadFile("system.reg"), test.bytes);
        // The other hive is not affected.
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\New"), ERROR_SUCCESS);
    }
}

// Bytes the process holds from malloc (0 under sanitizers, whose allocator
// glibc does not see).
size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

TEST_F(RegistryTest, KeysUpTo512LevelsTakeMemoryInProportionToTheFile) {
    // One key 512 levels deep of the longest names: each level's path is
    // longer than the one above, so keeping whole paths per level would take
    // a thousand times the file.
    const std::string level = "\\" + std::string(255, 'k');
    const std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE" + Repeat(level, 512) +
                             "]\n\"Deep\"=\"yes\"\n";
    prefix.WriteFile("system.reg", text);
    const std::string path = Repeat(level, 512).substr(1);
    const std::u16string deep(path.begin(), path.end());
    const std::u16string above = deep.substr(0, deep.rfind(u'\\'));
    const size_t before = HeapInUse();
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, deep, u"Deep"), u"yes");
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, (above + u"\\sibling").c_str()), ERROR_SUCCESS);
    EXPECT_LT(HeapInUse(), before + 64 * text.size());
    // Nothing deeper can be made; what was there still reads.
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, (deep + u"\\x").c_str()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (deep + u"\\x").c_str(), 0, KEY_READ, Key().Out()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, deep, u"Deep"), u"yes");
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_LOCAL_MACHINE, above + u"\\sibling"));
}

// A hive of more than a megabyte: `classes` keys of filler, then a key
// written over two sections, a key with a name beyond ASCII, and a key only
// a deeper section implies.
std::string LargeHive(int classes) {
    std::string text = "Windows Registry Editor Version 5.00\n";
    for (int n = 0; n < classes; ++n) {
        const std::string key = "\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{" + std::to_string(n) + "}";
        text += key + "]\n@=\"Class " + std::to_string(n) + "\"\n" + key + "\\InprocServer32]\n@=\"lib" +
                std::to_string(n) + ".so\"\n";
    }
    return text + "\n[HKEY_LOCAL_MACHINE\\Software\\Split]\n\"A\"=\"first\"\n\"B\"=dword:00000001\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\Caf\xc3\xa9]\n@=\"accent\"\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\Implied\\Below]\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\split]\n\"a\"=\"second\"\n";
}

TEST_F(RegistryTest, LargeHiveIsReadThroughItsIndex) {
    const std::string text = LargeHive(7500);
    ASSERT_GT(text.size(), 1u << 20);
    prefix.WriteFile("system.reg", text);
    const std::string index = prefix.Path() + "/system.reg.index";
    // Every read answers as the whole file would; `lean`: and holds far less
    // than the file (the first process reads the file whole and writes the
    // index, the next ones read the index and the key's sections).
    const auto reads = [&](bool lean) {
        return Wait(Spawn([&] {
            const size_t before = HeapInUse();
            const bool right =
                RegistryReader::String(HKEY_LOCAL_MACHINE, u"software\\split", u"A") == u"second" &&
                RegistryReader::String(HKEY_CLASSES_ROOT, u"CLSID\\{7499}\\InprocServer32") == u"lib7499.so" &&
                RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\CAF\u00c9") == u"accent" &&
                RegistryReader::KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Implied") &&
                !RegistryReader::KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{7500}") &&
                RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Split", u"D") == std::nullopt;
            const bool small = HeapInUse() < before + text.size() / 4;
            DWORD number = 0, size = sizeof number;
            HKEY key = nullptr;
            const bool both = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Split", 0, KEY_READ, &key) == 0 &&
                              RegQueryValueExW(key, u"b", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size) ==
                                  0 &&
                              number == 1 && RegCloseKey(key) == 0;
            const bool listed = RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Implied") == Names{u"Below"};
            return right && both && listed && (!lean || small) ? 0 : 1;
        }));
    };
    EXPECT_EQ(reads(false), 0);
    ASSERT_TRUE(std::filesystem::exists(index));
    EXPECT_EQ(reads(true), 0);
    // A hand edit makes another version: the index no longer counts, and
    // the next reader writes a new one.
    prefix.WriteFile("system.reg", text + "\"C\"=\"edited\"\n");
    const std::string first = prefix.ReadFile("system.reg.index");
    EXPECT_EQ(Wait(Spawn([] {
                  return RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\split", u"C") == u"edited" ? 0 : 1;
              })),
              0);
    const std::string second = prefix.ReadFile("system.reg.index");
    EXPECT_NE(second, first);
    // A write through the registry writes the index of what it stored, and
    // the next reader takes it as it is (a new index is a new file, made
    // while the old one still exists).
    EXPECT_EQ(Wait(Spawn([] { return CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Written") == ERROR_SUCCESS ? 0 : 1; })),
              0);
    const std::string third = prefix.ReadFile("system.reg.index");
    EXPECT_NE(third, second);
    const ino_t written = FileId(index);
    EXPECT_EQ(Wait(Spawn([] { return RegistryReader::KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Written") ? 0 : 1; })),
              0);
    EXPECT_EQ(FileId(index), written);
    // A damaged index is not used, and made again.
    std::filesystem::resize_file(index, third.size() / 2);
    EXPECT_EQ(reads(false), 0);
    EXPECT_EQ(prefix.ReadFile("system.reg.index"), third);
    EXPECT_EQ(reads(true), 0);
}

// A figure of /proc/self/status in KiB, such as "VmRSS"; 0 when missing.
size_t StatusKiB(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) return std::stoul(line.substr(name.size() + 1));
    }
    return 0;
}

// Whether the peak resident memory of this process can be measured from
// here: not under AddressSanitizer (its quarantine keeps what is freed), and
// with a kernel that resets the peak on request.
bool PeakMeasurable() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5" << std::flush);
}

TEST_F(RegistryTest, WritesIntoALargeHiveTakeMemoryInProportionToIt) {
    // A write reads the hive whole and writes it anew, once: at its peak it
    // holds a few times the file (about five), not a tree of every key and
    // value in it (which took more than thirty).
    const std::string text = LargeHive(60000);
    prefix.WriteFile("system.reg", text);
    const auto writes = [&](const std::function<bool()>& write) {
        return Wait(Spawn([&] {
            const bool measured = PeakMeasurable();  // resets the peak
            const size_t before = StatusKiB("VmRSS");
            if (!write()) return 1;
            const size_t grown = (StatusKiB("VmHWM") - std::min(before, StatusKiB("VmHWM"))) * 1024;
            return !measured || grown < 8 * text.size() ? 0 : 2;
        }));
    };
    EXPECT_EQ(writes([] {
                  Key key;
                  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Split", 0, KEY_ALL_ACCESS, key.Out()) == 0 &&
                         SetText(key.Get(), u"Written", u"yes") == 0;
              }),
              0);
    EXPECT_EQ(writes([] {
                  return ComrtBeginRegistryChange() == 0 && CreateKey(HKEY_CLASSES_ROOT, u"CLSID\\{new}") == 0 &&
                         RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{123}") == 0 &&
                         RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Implied\\Below") == 0 &&
                         ComrtEndRegistryChange(TRUE) == 0;
              }),
              0);
    // Everything else reads as it did.
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\split", u"Written"), u"yes");
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\split", u"A"), u"second");
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, u"CLSID\\{59999}\\InprocServer32"), u"lib59999.so");
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{new}"));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{123}"));
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Implied"), Names{});
}

TEST_F(RegistryTest, TextSizesAndErrorCodesOfBadCalls) {
    Key key;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\T", &key), ERROR_SUCCESS);
    // Stored up to the first zero unit, whether or not the caller counted one.
    const char16_t raw[] = u"abc\0def";
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Cut", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 14), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 6), ERROR_SUCCESS);
    for (const char16_t* name : {u"Cut", u"Bare"}) {
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 8u);
        char16_t small[1] = {u'?'};
        size = 7;
        EXPECT_EQ(RegQueryValueExW(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(RegistryReader::String(key.Get(), u"", name), u"abc");
    }
    const BYTE shortNumber[2] = {1, 2};
    EXPECT_EQ(RegSetValueExW(key.Get(), u"N", 0, REG_DWORD, shortNumber, 2), ERROR_INVALID_PARAMETER);

    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key.Get(), nullptr, 0, KEY_READ, &closed), ERROR_SUCCESS);
    EXPECT_NE(closed, key.Get());
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetText(closed, u"x", u"y"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Missing", 0, KEY_READ, Key().Out()),
              ERROR_FILE_NOT_FOUND);
    char16_t name[4];
    DWORD length = 4;
    ASSERT_EQ(CreateKey(key.Get(), u"LongerName"), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateKey(HKEY_LOCAL_MACHINE, std::u16string(256, u'k').c_str()), ERROR_INVALID_PARAMETER);
    // KEY_WOW64_* views are one and the same registry here.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, KEY_READ | KEY_WOW64_32KEY, Key().Out()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, u"Software", 0, KEY_READ, Key().Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_CONFIG, u"Software"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, EscapesSurviveAnotherProcess) {
    const std::u16string keyName = u"Software\\Quote\"Back\\slash";
    const std::u16string texts[] = {u"C:\\Program Files\\\"x\"\\", u"\\\\server\\share\\", u"caf\u00e9 \u65e5\u672c",
                                    u"clef \U0001D11E end", u"tab\there", u""};
    const pid_t child = Spawn([&] {
        Key key;
        if (CreateKey(HKEY_LOCAL_MACHINE, (keyName + u"\\\u00e9t\u00e9 \U0001F600").c_str(), &key) != ERROR_SUCCESS)
            return 1;
        for (size_t i = 0; i < std::size(texts); ++i) {
            const std::u16string name = u"v\"\\" + std::u16string(1, static_cast<char16_t>(u'0' + i));
            if (SetText(key.Get(), name.c_str(), texts[i]) != ERROR_SUCCESS) return 2;
        }
        return 0;
    });
    ASSERT_EQ(Wait(child), 0);
    const std::u16string path = keyName + u"\\\u00c9T\u00c9 \U0001F600";
    for (size_t i = 0; i < std::size(texts); ++i) {
        const std::u16string name = u"V\"\\" + std::u16string(1, static_cast<char16_t>(u'0' + i));
        EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str()), texts[i]) << i;
    }
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, keyName.c_str()), Names{u"\u00e9t\u00e9 \U0001F600"});
}

TEST_F(RegistryTest, ReaderSeesAnotherProcessRewrite) {
    Key key;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\R", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"V", u"before"), ERROR_SUCCESS);
    ASSERT_EQ(RegistryReader::String(key.Get(), u"", u"V"), u"before");
    // Same length, so the file keeps its size: only its identity changes.
    for (const char16_t* text : {u"after1", u"after2"}) {
        ASSERT_EQ(Wait(Spawn([&] { return SetText(key.Get(), u"V", text) == ERROR_SUCCESS ? 0 : 1; })), 0);
        EXPECT_EQ(RegistryReader::String(key.Get(), u"", u"V"), text);
    }
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    // Memory-backed when available: the test is about the lock, not fsync.
    std::error_code ignored;
    ScratchPrefix fast(std::filesystem::is_directory("/dev/shm", ignored) ? "/dev/shm" : "");
    constexpr int kKeys = 200;
    auto writer = [](char16_t tag) {
        return [tag] {
            for (int i = 0; i < kKeys; ++i) {
                const std::u16string path = u"Software\\Race\\" + std::u16string(1, tag) + u"-" +
                                            std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) +
                                            std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
                Key key;
                if (CreateKey(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS ||
                    SetText(key.Get(), u"Owner", std::u16string(1, tag)) != ERROR_SUCCESS)
                    return 1;
            }
            return 0;
        };
    };
    const pid_t first = Spawn(writer(u'p'));
    const pid_t second = Spawn(writer(u'q'));
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    const std::vector<std::u16string> keys = RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Race");
    ASSERT_EQ(keys.size(), 2u * kKeys);
    for (const std::u16string& name : keys) {
        const std::u16string path = u"Software\\Race\\" + name;
        EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, path.c_str(), u"Owner"), name.substr(0, 1));
    }
}

TEST_F(RegistryTest, ChangeIsStoredOnceWholeOrNotAtAll) {
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Before"), ERROR_SUCCESS);
    const std::string machine = prefix.Path() + "/system.reg";
    const std::string original = prefix.ReadFile("system.reg");
    const ino_t first = FileId(machine);
    EXPECT_EQ(ComrtEndRegistryChange(TRUE), ERROR_NOT_OWNER);

    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);
    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);  // nested: one change
    for (const char16_t* name : {u"Software\\Batch\\A", u"Software\\Batch\\B", u"Software\\Batch\\C"}) {
        Key key;
        ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, name, &key), ERROR_SUCCESS);
        ASSERT_EQ(SetText(key.Get(), u"V", name), ERROR_SUCCESS);
    }
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Before"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Batch"), ERROR_SUCCESS);
    // The change sees itself; another process sees the files as they were.
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Batch\\B", u"V"), u"Software\\Batch\\B");
    EXPECT_EQ(Wait(Spawn([] {
                  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Before", 0, KEY_READ, Key().Out()) ==
                                 ERROR_SUCCESS &&
                                 RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software") == Names{u"Before"}
                             ? 0
                             : 1;
              })),
              0);
    ASSERT_EQ(ComrtEndRegistryChange(TRUE), ERROR_SUCCESS);
    EXPECT_EQ(prefix.ReadFile("system.reg"), original);
    EXPECT_EQ(FileId(machine), first);

    ASSERT_EQ(ComrtEndRegistryChange(TRUE), ERROR_SUCCESS);
    EXPECT_NE(FileId(machine), first);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software"), Names{u"Batch"});
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Batch").size(), 3u);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_CURRENT_USER, u"Software"), Names{u"Batch"});

    // Rolled back: nothing of it is stored.
    const std::string committed = prefix.ReadFile("system.reg");
    const ino_t second = FileId(machine);
    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Batch"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Lost"), ERROR_SUCCESS);
    ASSERT_EQ(ComrtEndRegistryChange(FALSE), ERROR_SUCCESS);
    EXPECT_EQ(prefix.ReadFile("system.reg"), committed);
    EXPECT_EQ(FileId(machine), second);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software"), Names{u"Batch"});
}

TEST_F(RegistryTest, WriterRemovesTemporaryFilesOfDeadWriters) {
    // A writer killed between writing its new hive and renaming it leaves
    // <hive>.tmp.<pid>.<n>; the next writer removes those of dead processes.
    const pid_t dead = Spawn([] { return 0; });
    ASSERT_EQ(Wait(dead), 0);
    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    const pid_t live = Spawn([&] {  // runs until the pipe closes
        close(hold[1]);
        char byte;
        return static_cast<int>(read(hold[0], &byte, 1));
    });
    const std::string deadId = std::to_string(dead), liveId = std::to_string(live);
    const std::vector<std::string> gone{"system.reg.tmp." + deadId + ".0", "user.reg.tmp." + deadId + ".7"};
    const std::vector<std::string> kept{"system.reg.tmp." + liveId + ".0", "system.reg.tmp.x.1",
                                        "other.tmp." + deadId + ".0"};
    for (const std::string& name : gone) prefix.WriteFile(name, "partial");
    for (const std::string& name : kept) prefix.WriteFile(name, "partial");
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\After"), ERROR_SUCCESS);
    for (const std::string& name : gone) EXPECT_FALSE(std::filesystem::exists(prefix.Path() + "/" + name)) << name;
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(prefix.Path() + "/" + name)) << name;
    close(hold[1]);
    close(hold[0]);
    EXPECT_EQ(Wait(live), 0);
}

TEST_F(RegistryTest, BrokenUserHiveLeavesTheMachineHiveUsable) {
    const std::string broken = "Windows Registry Editor Version 5.00\n\ngarbage\n";
    prefix.WriteFile("user.reg", broken);
    testing::internal::CaptureStderr();
    // Machine-wide registration through the merged view, also as one change.
    ASSERT_EQ(ComrtBeginRegistryChange(), ERROR_SUCCESS);
    Key server;
    EXPECT_EQ(CreateKey(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32", &server), ERROR_SUCCESS);
    EXPECT_EQ(SetText(server.Get(), nullptr, u"/lib/a.so"), ERROR_SUCCESS);
    Key progId;
    EXPECT_EQ(CreateKey(HKEY_CLASSES_ROOT, u"A.Name\\CLSID", &progId), ERROR_SUCCESS);
    EXPECT_EQ(SetText(progId.Get(), nullptr, u"{1B2C3D4E-1111-2222-3333-444455556666}"), ERROR_SUCCESS);
    EXPECT_EQ(ComrtEndRegistryChange(TRUE), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey(HKEY_CLASSES_ROOT, u"CLSID\\{B}"), ERROR_SUCCESS);
    // Reads through the merged view see the machine's keys.
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32"), u"/lib/a.so");
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_CLASSES_ROOT, u"CLSID"), (Names{u"{A}", u"{B}"}));
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"A.Name", &clsid), S_OK);
    // The user's own hive stays refused, and untouched.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, Key().Out()), ERROR_BADDB);
    EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\New"), ERROR_BADDB);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(prefix.ReadFile("user.reg"), broken);
    const std::string message = "cannot read the registry file " + prefix.Path() + "/user.reg: line 3:";
    ASSERT_NE(errors.find(message), std::string::npos) << errors;
    EXPECT_EQ(errors.find(message, errors.find(message) + 1), std::string::npos) << errors;
}

TEST_F(RegistryTest, ClassesRootMergesUserOverMachine) {
    Key machine, user;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{A}", &machine), ERROR_SUCCESS);
    ASSERT_EQ(SetText(machine.Get(), nullptr, u"machine"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(machine.Get(), u"Only", u"machine only"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Classes\\clsid\\{a}", &user), ERROR_SUCCESS);
    ASSERT_EQ(SetText(user.Get(), nullptr, u"user"), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{B}"), ERROR_SUCCESS);

    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, u"CLSID\\{A}", nullptr), u"user");
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, u"CLSID\\{A}", u"Only"), u"machine only");
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_CLASSES_ROOT, u"CLSID"), (Names{u"{a}", u"{B}"}));
    // The values: the user's, then the machine's that the user's do not hide.
    Key merged;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{A}", 0, KEY_READ, merged.Out()), ERROR_SUCCESS);
    Names names;
    char16_t name[8];
    BYTE data[64];
    DWORD length = 8, type = 0, size = sizeof data;
    for (DWORD i = 0; RegEnumValueW(merged.Get(), i, name, &length, nullptr, &type, data, &size) == ERROR_SUCCESS;
         ++i, length = 8, size = sizeof data)
        names.push_back(std::u16string(name, length) + u"=" + reinterpret_cast<const char16_t*>(data));
    EXPECT_EQ(names, (Names{u"=user", u"Only=machine only"}));
    length = 4;
    EXPECT_EQ(RegEnumValueW(merged.Get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 8, size = 4;
    EXPECT_EQ(RegEnumValueW(merged.Get(), 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 26u);

    // Writes through the merged view land in the machine hive.
    ASSERT_EQ(CreateKey(HKEY_CLASSES_ROOT, u"CLSID\\{C}"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::SubKeys(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID"), (Names{u"{A}", u"{C}"}));
    Key viaClasses;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{B}", 0, KEY_ALL_ACCESS, viaClasses.Out()), ERROR_SUCCESS);
    ASSERT_EQ(SetText(viaClasses.Get(), u"Where", u"machine"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{B}", u"Where"), u"machine");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{C}"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{C}", 0, KEY_READ, Key().Out()), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, OverrideSendsClassesRootToTheUser) {
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Machine.Only"), ERROR_SUCCESS);
    {
        Key userClasses;
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, u"Software\\Classes", &userClasses), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses.Get()), ERROR_SUCCESS);
    }  // the override outlives the handle it was given
    Key progId;
    ASSERT_EQ(CreateKey(HKEY_CLASSES_ROOT, u"Ombrel.ZeveVevuVAD", &progId), ERROR_SUCCESS);
    ASSERT_EQ(SetText(progId.Get(), nullptr, u"per user"), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::String(HKEY_CURRENT_USER, u"Software\\Classes\\Ombrel.ZeveVevuVAD"), u"per user");
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Ombrel.ZeveVevuVAD", 0, KEY_READ, Key().Out()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Machine.Only", 0, KEY_READ, Key().Out()), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, u"Ombrel.ZeveVevuVAD", nullptr), u"per user");
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Machine.Only", 0, KEY_READ, Key().Out()), ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(reinterpret_cast<HKEY>(&progId), nullptr), ERROR_INVALID_HANDLE);
}
}  // namespace
