// Object model: identity, reference counts, module locks, creation failures
// and aggregation.
#include <gtest/gtest.h>

#include <new>
#include <span>
#include <stdexcept>

#include "com/Creator.h"
#include "com/ModuleLock.h"
#include "com/ObjectRoot.h"

namespace {

// {6B1A7E10-0000-4000-8000-0000000000A1}, {...A2}
constexpr IID IID_IWidget = {0x6B1A7E10, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xA1}};
constexpr IID IID_IGadget = {0x6B1A7E10, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xA2}};
constexpr IID IID_IMissing = {0x6B1A7E10, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xA3}};

struct IWidget : IUnknown {
    STDMETHOD_(LONG, Value)() = 0;
};
struct IGadget : IUnknown {
    STDMETHOD_(LONG, Twice)() = 0;
};

enum class Construction { Normal, ThrowBadAlloc, ThrowOther };

struct WidgetProbe {
    static inline int live = 0;
    static inline HRESULT finalConstruct = S_OK;
    static inline bool finalReleased = false;
};

class CWidget : public ObjectRoot, public IWidget, public IGadget {
public:
    explicit CWidget(Construction how = Construction::Normal, LONG value = 7) : value_(value) {
        if (how == Construction::ThrowBadAlloc) {
            throw std::bad_alloc();
        }
        if (how == Construction::ThrowOther) {
            throw std::runtime_error("constructor failed");
        }
        ++WidgetProbe::live;
    }
    ~CWidget() { --WidgetProbe::live; }

    static std::span<const InterfaceEntry<CWidget>> InterfaceTable() noexcept {
        static const InterfaceEntry<CWidget> table[] = {
            InterfaceEntry<CWidget>::Of<IWidget>(IID_IWidget),
            InterfaceEntry<CWidget>::Of<IGadget>(IID_IGadget),
        };
        return table;
    }
    HRESULT FinalConstruct() noexcept { return WidgetProbe::finalConstruct; }
    void FinalRelease() noexcept { WidgetProbe::finalReleased = true; }

    STDMETHODIMP_(LONG) Value() override { return value_; }
    STDMETHODIMP_(LONG) Twice() override { return value_ * 2; }

private:
    LONG value_;
};

// A controlling unknown that aggregates a CWidget and forwards queries for
// IWidget to it, as an outer object does.
class Outer final : public IUnknown {
public:
    HRESULT Aggregate() { return Creator<CWidget>::CreateInstance(this, IID_IUnknown, reinterpret_cast<void**>(&inner_)); }
    void DropInner() {
        if (inner_ != nullptr) {
            inner_->Release();
            inner_ = nullptr;
        }
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
    ULONG Refs() const { return refs_; }
    IUnknown* Inner() const { return inner_; }

private:
    ULONG refs_ = 1;
    IUnknown* inner_ = nullptr;
};

class ComObjectTest : public testing::Test {
protected:
    void SetUp() override {
        WidgetProbe::finalConstruct = S_OK;
        WidgetProbe::finalReleased = false;
        baseLocks_ = ModuleLock::GetLockCount();
    }
    void TearDown() override {
        EXPECT_EQ(WidgetProbe::live, 0);
        EXPECT_EQ(ModuleLock::GetLockCount(), baseLocks_);
    }
    LONG baseLocks_ = 0;
};

TEST_F(ComObjectTest, PlainObjectCountsReferencesAnswersItsInterfacesAndHoldsOneModuleLock) {
    IWidget* widget = nullptr;
    ASSERT_EQ(Creator<CWidget>::CreateInstance(nullptr, IID_IWidget, reinterpret_cast<void**>(&widget)), S_OK);
    EXPECT_EQ(widget->Value(), 7);
    EXPECT_EQ(ModuleLock::GetLockCount(), baseLocks_ + 1);
    IGadget* gadget = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_IGadget, reinterpret_cast<void**>(&gadget)), S_OK);
    EXPECT_EQ(gadget->Twice(), 14);
    IUnknown* identity = nullptr;
    ASSERT_EQ(gadget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(widget));  // the first table row is the identity
    void* missing = reinterpret_cast<void*>(1);
    EXPECT_EQ(widget->QueryInterface(IID_IMissing, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(identity->Release(), 2u);
    EXPECT_EQ(gadget->Release(), 1u);
    EXPECT_EQ(widget->Release(), 0u);
    EXPECT_TRUE(WidgetProbe::finalReleased);

    // The creator's further arguments reach the constructor.
    ASSERT_EQ(Creator<CWidget>::CreateInstance(nullptr, IID_IGadget, reinterpret_cast<void**>(&gadget),
                                               Construction::Normal, LONG{21}),
              S_OK);
    EXPECT_EQ(gadget->Twice(), 42);
    EXPECT_EQ(gadget->Release(), 0u);
}

TEST_F(ComObjectTest, CreatorFailures) {
    struct Case {
        const char* what;
        Construction how;
        HRESULT finalConstruct;
        const IID* iid;
        HRESULT expected;
    } const cases[] = {
        {"constructor out of memory", Construction::ThrowBadAlloc, S_OK, &IID_IWidget, E_OUTOFMEMORY},
        {"constructor throws", Construction::ThrowOther, S_OK, &IID_IWidget, E_FAIL},
        {"FinalConstruct fails", Construction::Normal, E_ACCESSDENIED, &IID_IWidget, E_ACCESSDENIED},
        {"interface missing", Construction::Normal, S_OK, &IID_IMissing, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WidgetProbe::finalConstruct = c.finalConstruct;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(Creator<CWidget>::CreateInstance(nullptr, *c.iid, &out, c.how), c.expected);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(WidgetProbe::live, 0);
        EXPECT_EQ(ModuleLock::GetLockCount(), baseLocks_);
    }
    EXPECT_EQ(Creator<CWidget>::CreateInstance(nullptr, IID_IWidget, nullptr), E_POINTER);
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(Creator<CWidget>::CreateInstance(&outer, IID_IWidget, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer.Refs(), 1u);
    // A failed aggregated creation destroys the aggregate.
    WidgetProbe::finalConstruct = E_FAIL;
    EXPECT_EQ(outer.Aggregate(), E_FAIL);
    EXPECT_EQ(outer.Inner(), nullptr);
    EXPECT_EQ(outer.Refs(), 1u);
}

TEST_F(ComObjectTest, AggregatedObjectDelegatesToTheOuterUnknown) {
    Outer outer;
    ASSERT_EQ(outer.Aggregate(), S_OK);
    IUnknown* inner = outer.Inner();
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.Refs(), 1u);  // the aggregate does not hold its outer object
    EXPECT_EQ(ModuleLock::GetLockCount(), baseLocks_ + 1);

    // The inner unknown keeps its own count and is its own IUnknown.
    IUnknown* innerAgain = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)), S_OK);
    EXPECT_EQ(innerAgain, inner);
    EXPECT_EQ(innerAgain->Release(), 1u);

    // Interfaces obtained through the inner unknown count on the outer one.
    IWidget* widget = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IWidget, reinterpret_cast<void**>(&widget)), S_OK);
    EXPECT_EQ(outer.Refs(), 2u);
    EXPECT_EQ(widget->Value(), 7);
    IUnknown* identity = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    IGadget* gadget = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_IGadget, reinterpret_cast<void**>(&gadget)), S_OK);
    EXPECT_EQ(outer.Refs(), 4u);
    gadget->Release();
    identity->Release();
    widget->Release();
    EXPECT_EQ(outer.Refs(), 1u);

    outer.DropInner();
    EXPECT_TRUE(WidgetProbe::finalReleased);
}

}  // namespace
