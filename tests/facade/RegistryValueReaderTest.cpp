#include "facade/RegistryValueReader.h"

#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace {
class RegistryValueReaderTest : public FacadeFixture {
protected:
    static void Put(HKEY root, const WString& key, const WString& name, const WString& value) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))),
                  ERROR_SUCCESS);
        RegCloseKey(handle);
    }
};

TEST_F(RegistryValueReaderTest, ReadsOnlyWellFormedPathsOfKnownHives) {
    Put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VANTORIS\\Sys", u"Ombrel", u"C:\\Prod\\run.exe");
    Put(HKEY_CURRENT_USER, u"Software\\Mine", u"Where", u"D:\\x");
    Put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Long", u"Fits", WString(259, u'a'));
    Put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Long", u"TooLong", WString(260, u'a'));
    Put(HKEY_LOCAL_MACHINE, u"Top", u"V", u"top");

    struct Case {
        const char16_t* path;
        WString expected;
    } const cases[] = {
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Ombrel", u"C:\\Prod\\run.exe"},
        {u"HKEY_CURRENT_USER\\Software\\Mine\\Where", u"D:\\x"},
        {u"HKEY_LOCAL_MACHINE\\Top\\V", u"top"},
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Long\\Fits", WString(259, u'a')},
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Long\\TooLong", u""},          // does not fit 260 units
        {u"hkey_local_machine\\SOFTWARE\\VANTORIS\\Sys\\Ombrel", u""},  // hive names are case-sensitive
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Ombrel\\", u""},  // empty value name
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Missing", u""},
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Nope\\Ombrel", u""},
        {u"HKEY_LOCAL_MACHINE\\Ombrel", u""},  // no key path
        {u"HKEY_LOCAL_MACHINE\\\\V", u""},      // last backslash first in the rest
        {u"\\SOFTWARE\\x", u""},
        {u"HKEY_LOCAL_MACHINE", u""},
        {u"", u""},
        {u"HKLM\\SOFTWARE\\VANTORIS\\Sys\\Ombrel", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(RegistryValueReader::Read(c.path), c.expected) << Narrow(c.path);
}
}  // namespace
