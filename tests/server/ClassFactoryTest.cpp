// The class objects and lifetime of the server library: cached factories,
// creation checks and the unload answer. (The aggregation of every class
// goes through the object root that the object model tests prove.)
#include <gtest/gtest.h>

#include <OBZeveVevuVAD.h>

#include "server/ServerExports.h"

namespace {

IClassFactory* Factory(REFCLSID clsid) {
    void* factory = nullptr;
    EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, &factory), S_OK);
    return static_cast<IClassFactory*>(factory);
}

// An outer object that aggregates one inner object.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = this;
            return S_OK;
        }
        return inner_ != nullptr ? inner_->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++count_; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --count_; }

    ULONG count_ = 1;
    IUnknown* inner_ = nullptr;
};

TEST(ClassFactoryTest, OneCachedFactoryPerClassAndNoneForOtherClasses) {
    for (const CLSID* clsid : {&CLSID_ZeveVevuVAD, &CLSID_RecordSet, &CLSID_RecordItem}) {
        IClassFactory* first = Factory(*clsid);
        IClassFactory* second = Factory(*clsid);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        // The cache's reference plus the two handed out.
        EXPECT_EQ(first->AddRef(), 4u);
        EXPECT_EQ(first->Release(), 3u);
        void* unknown = nullptr;
        EXPECT_EQ(DllGetClassObject(*clsid, IID_IUnknown, &unknown), S_OK);
        EXPECT_EQ(unknown, static_cast<IUnknown*>(first));
        static_cast<IUnknown*>(unknown)->Release();
        second->Release();
        EXPECT_EQ(first->Release(), 1u);
    }
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(DllGetClassObject(IID_IZeveVevuVAD, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(DllGetClassObject(CLSID_RecordSet, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_RecordSet, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassFactoryTest, CreateInstanceChecksItsArguments) {
    IClassFactory* factory = Factory(CLSID_ZeveVevuVAD);
    ASSERT_NE(factory, nullptr);
    Outer outer;
    const struct { IUnknown* outer; const IID* iid; HRESULT expected; } cases[] = {
        {nullptr, &IID_IZeveVevuVAD, S_OK},
        {nullptr, &IID_IDispatch, S_OK},
        {nullptr, &IID_IConnectionPointContainer, S_OK},
        {nullptr, &IID_IRecordSet, E_NOINTERFACE},
        {&outer, &IID_IZeveVevuVAD, CLASS_E_NOAGGREGATION},
        {&outer, &IID_IDispatch, CLASS_E_NOAGGREGATION},
        {&outer, &IID_IUnknown, S_OK},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, &object), c.expected);
        EXPECT_EQ(object == nullptr, FAILED(c.expected));
        if (object != nullptr) static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    factory->Release();
    EXPECT_EQ(outer.count_, 1u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassFactoryTest, CanUnloadNowOnlyWithoutObjectsFactoriesAndServerLocks) {
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    IClassFactory* factory = Factory(CLSID_RecordItem);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a client holds the factory
    IRecordItem* item = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IRecordItem, reinterpret_cast<void**>(&item)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the item and the server lock
    EXPECT_EQ(item->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the server lock
    factory = Factory(CLSID_RecordItem);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
