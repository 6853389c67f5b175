// The client kit's smart pointer: every copy holds a reference of its
// own, moves and out-parameter slots hand references over without leaking
// or releasing one twice.
#include <gtest/gtest.h>

#include <utility>

#include "obzkit/Ref.h"

namespace {

class Counted : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(RefTest, CopiesMovesAndSlotsKeepTheCountRight) {
    Counted a, b;
    {
        obzkit::Ref<Counted> first(&a);  // takes over the reference a was made with
        EXPECT_EQ(a.refs, 1u);
        obzkit::Ref<Counted> copy = first;
        EXPECT_EQ(a.refs, 2u);
        obzkit::Ref<Counted> moved = std::move(copy);
        EXPECT_EQ(a.refs, 2u);
        EXPECT_FALSE(copy);
        moved = first;  // the same object again: one reference each
        EXPECT_EQ(a.refs, 2u);
        b.AddRef();
        moved = obzkit::Ref<Counted>(&b);
        EXPECT_EQ(a.refs, 1u);
        EXPECT_EQ(b.refs, 2u);
        Counted** slot = moved.Put();  // releases what it held
        EXPECT_EQ(b.refs, 1u);
        EXPECT_EQ(*slot, nullptr);
        *slot = &b;  // as an out-parameter would, with a reference
        b.AddRef();
        EXPECT_EQ(moved.Get(), &b);
        obzkit::Ref<Counted> kept(moved.Detach());  // hands over, no count change
        EXPECT_FALSE(moved);
        EXPECT_EQ(b.refs, 2u);
        void** untyped = first.PutVoid();
        EXPECT_EQ(a.refs, 0u);
        EXPECT_EQ(*untyped, nullptr);
    }
    EXPECT_EQ(b.refs, 1u);
}

}  // namespace
