#include <string>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

#include "ScratchPrefix.h"

namespace {

constexpr CLSID kClass = {0x1B2C3D4E, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
constexpr const char16_t* kClassText = u"{1B2C3D4E-1111-2222-3333-444455556666}";

void SetDefault(HKEY root, const std::u16string& path, const std::u16string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegisterServer(const std::u16string& library) {
    SetDefault(HKEY_CLASSES_ROOT, std::u16string(u"CLSID\\") + kClassText + u"\\InprocServer32", library);
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The host path of libcomrt itself: a loadable library without DllGetClassObject.
std::u16string RuntimeLibraryPath() {
    HMODULE module = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&CoCreateInstance)), &module));
    char16_t path[MAX_PATH * 4] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, MAX_PATH * 4), 0u);
    return path;
}

class ClassLoaderTest : public ::testing::Test {
protected:
    ScratchPrefix prefix_;
};

TEST_F(ClassLoaderTest, UnregisteredClassIsNotRegistered) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoGetClassObject(kClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    // A CLSID key without an in-process server entry is no registration.
    SetDefault(HKEY_CLASSES_ROOT, std::u16string(u"CLSID\\") + kClassText, u"Some Class");
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassLoaderTest, ServerLibraryFailures) {
    char folder[4096];
    ASSERT_GT(ComrtGetPrefix(folder, sizeof folder), 0u);  // lays out drive_c
    prefix_.WriteFile("drive_c/notalibrary.dll", "plain text, no ELF header");
    const struct { std::u16string library; HRESULT expected; } cases[] = {
        {Wide(prefix_.Path()) + u"/missing.so", CO_E_DLLNOTFOUND},
        {u"C:\\missing.dll", CO_E_DLLNOTFOUND},
        {u"Q:\\nodrive\\server.dll", CO_E_DLLNOTFOUND},
        {u"C:\\notalibrary.dll", CO_E_ERRORINDLL},
        {RuntimeLibraryPath(), CO_E_ERRORINDLL},
    };
    for (const auto& c : cases) {
        RegisterServer(c.library);
        void* object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), c.expected)
            << std::string(c.library.begin(), c.library.end());
        EXPECT_EQ(object, nullptr);
    }
    // Only in-process servers exist.
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    CoFreeUnusedLibraries();
}

TEST_F(ClassLoaderTest, ProgIdLookup) {
    SetDefault(HKEY_CLASSES_ROOT, u"Test.Direct.1\\CLSID", kClassText);
    SetDefault(HKEY_CLASSES_ROOT, u"Test.Direct\\CurVer", u"Test.Direct.1");
    SetDefault(HKEY_CLASSES_ROOT, u"Test.BadText\\CLSID", u"not a guid");
    SetDefault(HKEY_CLASSES_ROOT, u"Test.Loop\\CurVer", u"Test.Loop2");
    SetDefault(HKEY_CLASSES_ROOT, u"Test.Loop2\\CurVer", u"Test.Loop");
    SetDefault(HKEY_CLASSES_ROOT, u"Test.Dangling\\CurVer", u"Test.Nowhere");
    const struct { const char16_t* progId; HRESULT expected; } cases[] = {
        {u"Test.Direct.1", S_OK},     {u"test.direct.1", S_OK},           {u"Test.Direct", S_OK},
        {u"Test.Missing", CO_E_CLASSSTRING}, {u"Test.BadText", CO_E_CLASSSTRING}, {u"Test.Loop", CO_E_CLASSSTRING},
        {u"Test.Dangling", CO_E_CLASSSTRING}, {u"", CO_E_CLASSSTRING},
    };
    for (const auto& c : cases) {
        CLSID clsid = kClass;
        EXPECT_EQ(CLSIDFromProgID(c.progId, &clsid), c.expected) << std::u16string(c.progId).size();
        EXPECT_EQ(clsid, c.expected == S_OK ? kClass : GUID_NULL);
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Test.Direct", nullptr), E_INVALIDARG);
}

}  // namespace
