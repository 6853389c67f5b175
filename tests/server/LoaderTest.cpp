// The server library as clients reach it: registered in a prefix, found by
// ProgID and loaded by the runtime's class loader.
#include <string>

#include <gtest/gtest.h>

#include <OBZeveVevuVAD.h>

#include "server/ServerExports.h"
#include "tests/comrt/ScratchPrefix.h"

namespace {

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DllRegisterServer(), S_OK); }
    void TearDown() override { CoFreeUnusedLibraries(); }

    static HRESULT CreateByProgId(const char16_t* progId, REFIID riid, void** ppv) {
        CLSID clsid;
        const HRESULT hr = CLSIDFromProgID(progId, &clsid);
        if (FAILED(hr)) return hr;
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
    }

    ScratchPrefix prefix_;
};

// Every ProgID, with and without its version, creates its class through the
// loader; the library stays loaded while objects live, and they work together.
TEST_F(LoaderTest, ProgIdsCreateTheClassesThatWorkTogether) {
    const struct { const char16_t* progId; const IID* iid; } cases[] = {
        {u"Ombrel.ZeveVevuVAD", &IID_IZeveVevuVAD}, {u"Ombrel.ZeveVevuVAD.1", &IID_IZeveVevuVAD},
        {u"Ombrel.RecordSet", &IID_IRecordSet},     {u"Ombrel.RecordSet.1", &IID_IRecordSet},
        {u"Ombrel.RecordItem", &IID_IRecordItem},   {u"Ombrel.RecordItem.1", &IID_IRecordItem},
    };
    IUnknown* objects[6] = {};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(std::u16string(cases[i].progId).size());
        ASSERT_EQ(CreateByProgId(cases[i].progId, *cases[i].iid, reinterpret_cast<void**>(&objects[i])), S_OK);
    }
    // Unloading is refused while objects live; the set hands its row to the
    // item made through the loader.
    CoFreeUnusedLibraries();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    auto* set = static_cast<IRecordSet*>(objects[3]);
    BSTR row = SysAllocString(u"1");
    EXPECT_EQ(set->SetRecordItem(row), S_OK);
    SysFreeString(row);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(set->GetRecordItem(0, static_cast<IRecordItem*>(objects[4]), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    for (IUnknown* object : objects) EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(LoaderTest, CreationThroughTheLoaderPassesTheOuterUnknownOn) {
    struct Outer final : IUnknown {
        STDMETHODIMP QueryInterface(REFIID, void**) noexcept override { return E_NOINTERFACE; }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return 2; }
        STDMETHODIMP_(ULONG) Release() noexcept override { return 1; }
    } outer;
    void* inner = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_RecordItem, &outer, CLSCTX_INPROC_SERVER, IID_IRecordItem, &inner),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(inner, nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_RecordItem, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &inner), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(inner)->Release(), 0u);
}

}  // namespace
