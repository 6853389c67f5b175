// An aggregatable COM object: this class is the inner unknown that the outer
// object holds (its own reference count, its QueryInterface answers
// IID_IUnknown with itself), while the contained T delegates its IUnknown to
// the outer unknown. Holds one module lock while it lives. The outer unknown
// is not AddRef'd (it owns the aggregate). Created through Creator<T>.
#pragma once

#include <utility>

#include "com/ComContainedObject.h"
#include "com/InterfaceEntry.h"
#include "com/ModuleLock.h"

template <class T>
class ComAggObject final : public IUnknown {
public:
    template <class... Args>
    explicit ComAggObject(IUnknown* outer, Args&&... args) : contained_(outer, std::forward<Args>(args)...) {
        ModuleLock::Lock();
    }
    ~ComAggObject() {
        contained_.MarkDestroying();
        contained_.FinalRelease();
        ModuleLock::Unlock();
    }
    ComAggObject(const ComAggObject&) = delete;
    ComAggObject& operator=(const ComAggObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        IUnknown* found = InterfaceEntry<T>::Find(T::InterfaceTable(), &contained_, riid);
        if (found == nullptr) {
            return E_NOINTERFACE;
        }
        found->AddRef();  // reaches the outer unknown
        *ppv = found;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG count = InterlockedDecrement(&refCount_);
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

    LONG InternalAddRef() noexcept { return InterlockedIncrement(&refCount_); }
    LONG InternalRelease() noexcept { return InterlockedDecrement(&refCount_); }

    HRESULT Construct() noexcept {
        HRESULT hr = contained_.InitializeLock();
        if (SUCCEEDED(hr)) {
            hr = contained_.FinalConstruct();
        }
        return hr;
    }

    T& Object() noexcept { return contained_; }

private:
    LONG volatile refCount_ = 0;
    ComContainedObject<T> contained_;
};
