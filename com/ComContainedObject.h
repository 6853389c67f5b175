// T inside an aggregate: every IUnknown call goes to the outer (controlling)
// unknown, so the aggregate has one identity and one reference count. Lives
// as a member of ComAggObject<T>, never alone.
#pragma once

#include <utility>

#include "com/ObjectRoot.h"

template <class T>
class ComContainedObject final : public T {
public:
    template <class... Args>
    explicit ComContainedObject(IUnknown* outer, Args&&... args) : T(std::forward<Args>(args)...) {
        this->controllingUnknown_ = outer;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        return this->controllingUnknown_->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return this->controllingUnknown_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return this->controllingUnknown_->Release(); }
};
