// The registry-script registrar: script syntax, replacements, and what
// registration and unregistration do to existing keys.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/ClassesRootOverride.h"
#include "com/Registrar.h"
#include "com/RegistryKey.h"
#include "comrt/RegistryReader.h"
#include "comrt/ScratchPrefix.h"

namespace {

// A fresh, empty prefix for each test; keys read back through the registry.
class RegistrarTest : public ::testing::Test {
protected:
    static void Create(HKEY root, const WString& path) {
        RegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
    }

    ScratchPrefix prefix_;
};

TEST_F(RegistrarTest, RejectsMalformedScripts) {
    const OLECHAR* scripts[] = {
        OLESTR("HKCR { A = s 'unterminated }"), OLESTR("HKCR { A = x 'bad type' }"), OLESTR("HKCR { A = s 'x' "),
        OLESTR("HKXX { A }"), OLESTR("'HKCR' { A }"), OLESTR("HKCR { A = s '%UNKNOWN%' }"),
        OLESTR("HKCR { A = s '%OPEN' }"), OLESTR("HKCR { A = d 'twelve' }"), OLESTR("HKCR { A = d '4294967296' }"),
        OLESTR("HKCR { A { val = s 'x' } }"), OLESTR("HKCR { NoRemove { } }"),
    };
    for (const OLECHAR* script : scripts) {
        Registrar registrar;
        EXPECT_EQ(registrar.StringRegister(script), DISP_E_EXCEPTION) << WString(script).size();
    }
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("A")));
    Registrar registrar;
    EXPECT_EQ(registrar.StringRegister(nullptr), E_INVALIDARG);
    EXPECT_EQ(registrar.AddReplacement(nullptr, OLESTR("x")), E_INVALIDARG);
}

TEST_F(RegistrarTest, WritesValuesWithReplacementsAndQuotes) {
    Registrar registrar;
    ASSERT_EQ(registrar.AddReplacement(OLESTR("MODULE"), OLESTR("C:\\it's here\\a.dll")), S_OK);
    ASSERT_EQ(registrar.AddReplacement(OLESTR("APPID"), OLESTR("{app}")), S_OK);
    ASSERT_EQ(registrar.StringRegister(OLESTR(
                  "HKCR\n{\n  'odd name' = s 'it''s 100%% %APPID%'\n  {\n    val Path = s '%MODULE%'\n"
                  "    val Count = d '0x10'\n    'val' = s 'a key named val'\n  }\n}\n")),
              S_OK);
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, OLESTR("odd name")), OLESTR("it's 100% {app}"));
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, OLESTR("odd name"), OLESTR("Path")), OLESTR("C:\\it's here\\a.dll"));
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, OLESTR("odd name\\val")), OLESTR("a key named val"));
    RegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("odd name"), 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    DWORD number = 0;
    DWORD size = sizeof number;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(key.Get(), OLESTR("Count"), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 16u);
}

TEST_F(RegistrarTest, FlagsDecideWhatRegistrationAndUnregistrationTouch) {
    const OLECHAR* script = OLESTR(
        "HKCR {\n"
        "  NoRemove Shared { Mine = s 'm' { val Extra = s 'e' } }\n"
        "  ForceRemove Whole = s 'w' { Part }\n"
        "  Delete Obsolete\n"
        "  Plain = s 'p' { Sub }\n"
        "}\n");
    Create(HKEY_CLASSES_ROOT, OLESTR("Shared\\Foreign"));
    Create(HKEY_CLASSES_ROOT, OLESTR("Whole\\Stale"));
    Create(HKEY_CLASSES_ROOT, OLESTR("Obsolete\\Child"));
    Registrar registrar;
    ASSERT_EQ(registrar.StringRegister(script), S_OK);
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Foreign")));
    EXPECT_EQ(RegistryReader::String(HKEY_CLASSES_ROOT, OLESTR("Shared\\Mine"), OLESTR("Extra")), OLESTR("e"));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Whole\\Stale")));  // ForceRemove rewrote the tree
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Whole\\Part")));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Obsolete")));

    Create(HKEY_CLASSES_ROOT, OLESTR("Plain\\Foreign"));
    ASSERT_EQ(registrar.StringUnregister(script), S_OK);
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Foreign")));  // NoRemove keeps the key
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Mine")));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Whole")));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Plain\\Sub")));
    EXPECT_TRUE(RegistryReader::KeyExists(HKEY_CLASSES_ROOT, OLESTR("Plain\\Foreign")));  // someone else's subkey keeps it
    // Nothing left to remove is no failure.
    EXPECT_EQ(registrar.StringUnregister(script), S_OK);
}

TEST_F(RegistrarTest, PerUserOverrideSendsKeysToTheUsersClasses) {
    {
        ClassesRootOverride userClasses;
        ASSERT_EQ(userClasses.Apply(), S_OK);
        Registrar registrar;
        ASSERT_EQ(registrar.StringRegister(OLESTR("HKCR { Mine = s 'user' }")), S_OK);
    }
    EXPECT_EQ(RegistryReader::String(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Mine")), OLESTR("user"));
    EXPECT_FALSE(RegistryReader::KeyExists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Mine")));
    // The default view is back: writes go machine-wide again.
    Registrar registrar;
    ASSERT_EQ(registrar.StringRegister(OLESTR("HKCR { Theirs = s 'machine' }")), S_OK);
    EXPECT_EQ(RegistryReader::String(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Theirs")), OLESTR("machine"));
}

}  // namespace
