#include "facade/RegistryValueReader.h"

#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace {
class RegistryValueReaderTest : public FacadeFixture {
protected:
#ifdef _WIN32
    // The machine's registry outlives the test: remove what it wrote.
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Long"));
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("Top"));
        RegDeleteTreeW(HKEY_CURRENT_USER, OLESTR("Software\\Mine"));
        FacadeFixture::TearDown();
    }
#endif
};

TEST_F(RegistryValueReaderTest, ReadsOnlyWellFormedPathsOfKnownHives) {
    PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\VANTORIS\\Sys"), OLESTR("Ombrel"), OLESTR("C:\\Prod\\run.exe"));
    PutRegistryText(HKEY_CURRENT_USER, OLESTR("Software\\Mine"), OLESTR("Where"), OLESTR("D:\\x"));
    PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Long"), OLESTR("Fits"), WString(259, OLECHAR('a')));
    PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Long"), OLESTR("TooLong"), WString(260, OLECHAR('a')));
    PutRegistryText(HKEY_LOCAL_MACHINE, OLESTR("Top"), OLESTR("V"), OLESTR("top"));

    struct Case { const OLECHAR* path; WString expected; } const cases[] = {
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Ombrel"), OLESTR("C:\\Prod\\run.exe")},
        {OLESTR("HKEY_CURRENT_USER\\Software\\Mine\\Where"), OLESTR("D:\\x")},
        {OLESTR("HKEY_LOCAL_MACHINE\\Top\\V"), OLESTR("top")},
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\Long\\Fits"), WString(259, OLECHAR('a'))},
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\Long\\TooLong"), OLESTR("")},          // does not fit 260 units
        {OLESTR("hkey_local_machine\\SOFTWARE\\VANTORIS\\Sys\\Ombrel"), OLESTR("")},  // hive names are case-sensitive
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Ombrel\\"), OLESTR("")},  // empty value name
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Sys\\Missing"), OLESTR("")},
        {OLESTR("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTORIS\\Nope\\Ombrel"), OLESTR("")},
        {OLESTR("HKEY_LOCAL_MACHINE\\Ombrel"), OLESTR("")},  // no key path
        {OLESTR("HKEY_LOCAL_MACHINE\\\\V"), OLESTR("")},      // last backslash first in the rest
        {OLESTR("\\SOFTWARE\\x"), OLESTR("")},
        {OLESTR("HKEY_LOCAL_MACHINE"), OLESTR("")},
        {OLESTR(""), OLESTR("")},
        {OLESTR("HKLM\\SOFTWARE\\VANTORIS\\Sys\\Ombrel"), OLESTR("")},
    };
    for (const Case& c : cases) EXPECT_EQ(RegistryValueReader::Read(c.path), c.expected) << Narrow(c.path);
}
}  // namespace
