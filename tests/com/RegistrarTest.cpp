// The registry-script registrar: script syntax, replacements, and what
// registration and unregistration do to existing keys.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/ClassesRootOverride.h"
#include "com/Registrar.h"
#include "com/RegistryKey.h"

namespace {

// Points the runtime at a fresh, empty prefix for one test.
class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("COMRT_PREFIX")) previous_ = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "registrar-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        setenv("COMRT_PREFIX", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (previous_) {
            setenv("COMRT_PREFIX", previous_->c_str(), 1);
        } else {
            unsetenv("COMRT_PREFIX");
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    static void Create(HKEY root, const WString& path) {
        RegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    static bool Exists(HKEY root, const WString& path) {
        RegistryKey key;
        return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
    }
    static std::optional<WString> String(HKEY root, const WString& path, const OLECHAR* name = nullptr) {
        RegistryKey key;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return std::nullopt;
        OLECHAR buffer[512] = {};
        DWORD size = sizeof buffer - sizeof(OLECHAR);
        DWORD type = 0;
        if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::nullopt;
        }
        return WString(buffer);
    }

    std::string folder_;
    std::optional<std::string> previous_;
};

TEST_F(RegistrarTest, RejectsMalformedScripts) {
    const OLECHAR* scripts[] = {
        OLESTR("HKCR { A = s 'unterminated }"),
        OLESTR("HKCR { A = x 'bad type' }"),
        OLESTR("HKCR { A = s 'x' "),
        OLESTR("HKXX { A }"),
        OLESTR("'HKCR' { A }"),
        OLESTR("HKCR { A = s '%UNKNOWN%' }"),
        OLESTR("HKCR { A = s '%OPEN' }"),
        OLESTR("HKCR { A = d 'twelve' }"),
        OLESTR("HKCR { A = d '4294967296' }"),
        OLESTR("HKCR { A { val = s 'x' } }"),
        OLESTR("HKCR { NoRemove { } }"),
    };
    for (const OLECHAR* script : scripts) {
        Registrar registrar;
        EXPECT_EQ(registrar.StringRegister(script), DISP_E_EXCEPTION) << WString(script).size();
    }
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("A")));
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
    EXPECT_EQ(String(HKEY_CLASSES_ROOT, OLESTR("odd name")), OLESTR("it's 100% {app}"));
    EXPECT_EQ(String(HKEY_CLASSES_ROOT, OLESTR("odd name"), OLESTR("Path")), OLESTR("C:\\it's here\\a.dll"));
    EXPECT_EQ(String(HKEY_CLASSES_ROOT, OLESTR("odd name\\val")), OLESTR("a key named val"));
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
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Foreign")));
    EXPECT_EQ(String(HKEY_CLASSES_ROOT, OLESTR("Shared\\Mine"), OLESTR("Extra")), OLESTR("e"));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("Whole\\Stale")));  // ForceRemove rewrote the tree
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, OLESTR("Whole\\Part")));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("Obsolete")));

    Create(HKEY_CLASSES_ROOT, OLESTR("Plain\\Foreign"));
    ASSERT_EQ(registrar.StringUnregister(script), S_OK);
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Foreign")));  // NoRemove keeps the key
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("Shared\\Mine")));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("Whole")));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, OLESTR("Plain\\Sub")));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, OLESTR("Plain\\Foreign")));  // someone else's subkey keeps it
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
    EXPECT_EQ(String(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\Mine")), OLESTR("user"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Mine")));
    // The default view is back: writes go machine-wide again.
    Registrar registrar;
    ASSERT_EQ(registrar.StringRegister(OLESTR("HKCR { Theirs = s 'machine' }")), S_OK);
    EXPECT_EQ(String(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\Theirs")), OLESTR("machine"));
}

}  // namespace
