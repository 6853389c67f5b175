// Self-registration of the server library: the keys written machine-wide and
// per user, re-registration, unregistration, DllInstall's command line, and
// comrt-regsvr runs in several processes at once.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <OBZeveVevuVAD.h>

#include "server/ServerExports.h"
#include "tests/comrt/RegistryReader.h"
#include "tests/comrt/ScratchPrefix.h"

namespace {

const std::u16string kMachine = u"Software\\Classes";
const std::u16string kLibId = u"{39285B56-06B4-42B1-954F-13D14986149A}";
const std::u16string kClsidZeveVevuVAD = u"{F59CFD47-99A5-4BFA-B936-C03A62C53679}";

struct ClassRow {
    std::u16string clsid, description, progId, independentProgId;
};
const ClassRow kClasses[] = {
    {kClsidZeveVevuVAD, u"ZeveVevuVAD Class", u"Ombrel.ZeveVevuVAD.1", u"Ombrel.ZeveVevuVAD"},
    {u"{5195E675-2327-4CAC-9B2F-61BB6EEA33AE}", u"RecordSet Class", u"Ombrel.RecordSet.1", u"Ombrel.RecordSet"},
    {u"{D8995745-29D3-423C-8FF6-BE964C5B36C9}", u"RecordItem Class", u"Ombrel.RecordItem.1", u"Ombrel.RecordItem"},
};

struct InterfaceRow {
    std::u16string iid, name, marshaler;
};
const InterfaceRow kInterfaces[] = {
    {u"{7917B64A-4E00-4F07-B804-230A95F98826}", u"IZeveVevuVAD", u"{00020424-0000-0000-C000-000000000046}"},
    {u"{3898D86F-D9DE-41F2-A022-60BB202809F6}", u"IRecordSet", u"{00020424-0000-0000-C000-000000000046}"},
    {u"{BC0FF046-0873-40D1-BDA9-9F76D8789691}", u"IRecordItem", u"{00020424-0000-0000-C000-000000000046}"},
    {u"{A2FC4706-ECE8-4BFF-A657-9831C90BC13C}", u"_IZeveVevuVADEvents", u"{00020420-0000-0000-C000-000000000046}"},
};

std::u16string ModulePath() {
    HMODULE module = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&DllRegisterServer)), &module));
    char16_t path[4096] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, 4096), 0u);
    return path;
}

// Every key that registration writes, relative to a classes root.
std::set<std::u16string> ExpectedKeys() {
    std::set<std::u16string> keys{u"CLSID", u"TypeLib", u"Interface"};
    for (const ClassRow& c : kClasses) {
        const std::u16string g = u"CLSID\\" + c.clsid;
        for (const std::u16string& key :
             {c.progId, c.progId + u"\\CLSID", c.independentProgId, c.independentProgId + u"\\CurVer", g,
              g + u"\\ProgID", g + u"\\VersionIndependentProgID", g + u"\\Programmable", g + u"\\InprocServer32",
              g + u"\\TypeLib", g + u"\\Version"}) {
            keys.insert(key);
        }
    }
    const std::u16string lib = u"TypeLib\\" + kLibId;
    for (const std::u16string& key : {lib, lib + u"\\1.0", lib + u"\\1.0\\409", lib + u"\\1.0\\409\\win64",
                                      lib + u"\\1.0\\FLAGS", lib + u"\\1.0\\HELPDIR"}) {
        keys.insert(key);
    }
    for (const InterfaceRow& i : kInterfaces) {
        const std::u16string key = u"Interface\\" + i.iid;
        for (const std::u16string& sub :
             {key, key + u"\\ProxyStubClsid", key + u"\\ProxyStubClsid32", key + u"\\TypeLib"}) {
            keys.insert(sub);
        }
    }
    return keys;
}

// Checks every value that registration writes below a classes root.
void ExpectValues(HKEY root, const std::u16string& classes) {
    const std::u16string module = ModulePath();
    auto at = [&](const std::u16string& key) { return classes + u"\\" + key; };
    for (const ClassRow& c : kClasses) {
        SCOPED_TRACE(std::string(c.progId.begin(), c.progId.end()));
        const std::u16string g = u"CLSID\\" + c.clsid;
        EXPECT_EQ(RegistryReader::String(root, at(c.progId)), c.description);
        EXPECT_EQ(RegistryReader::String(root, at(c.progId + u"\\CLSID")), c.clsid);
        EXPECT_EQ(RegistryReader::String(root, at(c.independentProgId)), c.description);
        EXPECT_EQ(RegistryReader::String(root, at(c.independentProgId + u"\\CurVer")), c.progId);
        EXPECT_EQ(RegistryReader::String(root, at(g)), c.description);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\ProgID")), c.progId);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\VersionIndependentProgID")), c.independentProgId);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\Programmable")), std::nullopt);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\InprocServer32")), module);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\InprocServer32"), u"ThreadingModel"), u"Both");
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\TypeLib")), kLibId);
        EXPECT_EQ(RegistryReader::String(root, at(g + u"\\Version")), u"1.0");
    }
    const std::u16string lib = u"TypeLib\\" + kLibId + u"\\1.0";
    EXPECT_EQ(RegistryReader::String(root, at(lib)), u"OBZeveVevuVAD 1.0 Type Library");
    EXPECT_EQ(RegistryReader::String(root, at(lib + u"\\409\\win64")), module);
    EXPECT_EQ(RegistryReader::String(root, at(lib + u"\\FLAGS")), u"0");
    EXPECT_EQ(RegistryReader::String(root, at(lib + u"\\HELPDIR")), module.substr(0, module.rfind(u'/') + 1));
    for (const InterfaceRow& i : kInterfaces) {
        const std::u16string key = u"Interface\\" + i.iid;
        EXPECT_EQ(RegistryReader::String(root, at(key)), i.name);
        EXPECT_EQ(RegistryReader::String(root, at(key + u"\\ProxyStubClsid")), i.marshaler);
        EXPECT_EQ(RegistryReader::String(root, at(key + u"\\ProxyStubClsid32")), i.marshaler);
        EXPECT_EQ(RegistryReader::String(root, at(key + u"\\TypeLib")), kLibId);
        EXPECT_EQ(RegistryReader::String(root, at(key + u"\\TypeLib"), u"Version"), u"1.0");
    }
}

std::set<std::u16string> MachineKeys() { return RegistryReader::KeysBelow(HKEY_LOCAL_MACHINE, kMachine); }
std::set<std::u16string> UserKeys() { return RegistryReader::KeysBelow(HKEY_CURRENT_USER, kMachine); }

// The keys that stay after unregistration: the shared parents.
const std::set<std::u16string> kLeftAfterUnregistration{u"CLSID", u"TypeLib", u"Interface"};

class RegistrationTest : public ::testing::Test {
protected:
    ScratchPrefix prefix_;
};

// Machine-wide; registering again leaves one set and rewrites each class key
// whole.
TEST_F(RegistrationTest, RegisterServerWritesTheClassesAndTheTypeLibraryMachineWide) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(MachineKeys(), ExpectedKeys());
    ExpectValues(HKEY_LOCAL_MACHINE, kMachine);
    EXPECT_TRUE(UserKeys().empty());
    HKEY stray = nullptr;
    const std::u16string strayKey = kMachine + u"\\CLSID\\" + kClsidZeveVevuVAD + u"\\Stale";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, strayKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stray,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stray);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(MachineKeys(), ExpectedKeys());
    ExpectValues(HKEY_LOCAL_MACHINE, kMachine);
}

// Unregistration, machine-wide or per user, leaves the shared parents and
// other classes' keys; unregistering what is not registered succeeds.
TEST_F(RegistrationTest, UnregisterRemovesAllButTheSharedParentKeys) {
    HKEY other = nullptr;
    const std::u16string otherClass = kMachine + u"\\CLSID\\{00000000-1111-2222-3333-444444444444}";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, otherClass.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);
    ASSERT_EQ(DllInstall(TRUE, u"user"), S_OK);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllInstall(FALSE, u"user"), S_OK);
    EXPECT_EQ(UserKeys(), kLeftAfterUnregistration);
    EXPECT_EQ(MachineKeys().size(), ExpectedKeys().size() + 1);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    std::set<std::u16string> left = kLeftAfterUnregistration;
    left.insert(u"CLSID\\{00000000-1111-2222-3333-444444444444}");
    EXPECT_EQ(MachineKeys(), left);
    EXPECT_EQ(DllInstall(FALSE, nullptr), S_OK);
}

// Only "user", in any case, registers per user, and for the one call only.
TEST_F(RegistrationTest, InstallCommandLineChoosesPerUserOrMachineWide) {
    const struct {
        const char16_t* commandLine;
        bool perUser;
    } cases[] = {{u"USER", true}, {u"User", true}, {u"users", false}, {u"use", false}, {u"", false}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine == nullptr ? -1 : static_cast<int>(std::u16string(c.commandLine).size()));
        ScratchPrefix fresh;
        ASSERT_EQ(DllInstall(TRUE, c.commandLine), S_OK);
        EXPECT_EQ(c.perUser ? UserKeys() : MachineKeys(), ExpectedKeys());
        EXPECT_TRUE((c.perUser ? MachineKeys() : UserKeys()).empty());
        if (!c.perUser) continue;
        ExpectValues(HKEY_CURRENT_USER, kMachine);
        ASSERT_EQ(DllRegisterServer(), S_OK);
        EXPECT_EQ(MachineKeys(), ExpectedKeys());
    }
}

std::string Utf8(const std::u16string& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// comrt-regsvr with `arguments`, in this process's prefix.
pid_t StartRegsvr(std::vector<std::string> arguments) {
    std::string program = OBZ_REGSVR;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// A reader in another process, until `stop` exists: every view it gets of
// either hive holds the whole registration or none of it, and, once the
// component is registered, every class can be created every time.
pid_t StartReader(const std::string& stop, bool registered) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const std::set<std::u16string> expected = ExpectedKeys();
    for (int round = 0; round < 5000 && !std::filesystem::exists(stop); ++round) {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            const std::set<std::u16string> keys = RegistryReader::KeysBelow(root, kMachine);
            if (!keys.empty() && keys != expected) _exit(1);
        }
        if (!registered) continue;
        for (const ClassRow& c : kClasses) {
            CLSID clsid;
            IUnknown* object = nullptr;
            if (FAILED(CLSIDFromProgID(c.independentProgId.c_str(), &clsid)) ||
                FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(&object))))
                _exit(2);
            object->Release();
        }
    }
    _exit(0);
}

TEST_F(RegistrationTest, ConcurrentRegistrationsLoseNothingAndAreSeenWhole) {
    const std::string module = Utf8(ModulePath());
    const std::string stop = prefix_.Path() + "/stop";
    for (const bool registered : {false, true}) {
        SCOPED_TRACE(registered ? "on a registered prefix" : "on a fresh prefix");
        std::vector<pid_t> readers{StartReader(stop, registered), StartReader(stop, registered)};
        std::vector<pid_t> runs;
        for (int i = 0; i < 8; ++i) {
            runs.push_back(StartRegsvr({"/s", module}));
            runs.push_back(StartRegsvr({"/s", "/n", "/i:user", module}));
        }
        for (pid_t run : runs) EXPECT_EQ(Wait(run), 0);
        prefix_.WriteFile("stop", "");
        for (pid_t reader : readers) EXPECT_EQ(Wait(reader), 0);
        std::filesystem::remove(stop);
        EXPECT_EQ(MachineKeys(), ExpectedKeys());
        EXPECT_EQ(UserKeys(), ExpectedKeys());
        ExpectValues(HKEY_LOCAL_MACHINE, kMachine);
        ExpectValues(HKEY_CURRENT_USER, kMachine);
    }
}

TEST_F(RegistrationTest, AnUnreadableHiveIsRefusedAndLeftAsItWas) {
    const std::string wine =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
        "[Software\\\\Wine] 1700000000\n#time=1d9a1b2c3d4e5f6\n\"Version\"=\"x\"\n";
    prefix_.WriteFile("system.reg", wine);
    const std::string command = std::string("'") + OBZ_REGSVR + "' '" + Utf8(ModulePath()) + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    EXPECT_NE(pclose(pipe), 0);
    EXPECT_NE(output.find("system.reg"), std::string::npos) << output;
    EXPECT_NE(output.find("Wine"), std::string::npos) << output;
    EXPECT_EQ(prefix_.ReadFile("system.reg"), wine);
    EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(prefix_.ReadFile("system.reg"), wine);
}

}  // namespace
