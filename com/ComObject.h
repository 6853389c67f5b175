// A stand-alone COM object: T with IUnknown implemented over T's own
// reference count and interface table. Holds one module lock while it lives.
// Deletes itself when the last reference is released. Created through
// Creator<T>; constructor arguments are passed on to T.
#pragma once

#include <utility>

#include "com/InterfaceEntry.h"
#include "com/ModuleLock.h"
#include "com/ObjectRoot.h"

template <class T>
class ComObject final : public T {
public:
    template <class... Args>
    explicit ComObject(Args&&... args) : T(std::forward<Args>(args)...) {
        this->controllingUnknown_ = InterfaceEntry<T>::Find(T::InterfaceTable(), this, IID_IUnknown);
        ModuleLock::Lock();
    }
    ~ComObject() {
        this->MarkDestroying();
        this->FinalRelease();
        ModuleLock::Unlock();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        IUnknown* found = InterfaceEntry<T>::Find(T::InterfaceTable(), this, riid);
        if (found == nullptr) {
            return E_NOINTERFACE;
        }
        found->AddRef();
        *ppv = found;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(this->InternalAddRef()); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG count = this->InternalRelease();
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

    // Creation steps run by Creator between a temporary AddRef and Release.
    HRESULT Construct() noexcept {
        HRESULT hr = this->InitializeLock();
        if (SUCCEEDED(hr)) {
            hr = this->FinalConstruct();
        }
        return hr;
    }
};
