#include "server/ClassFactory.h"

#include <new>

#include "com/ModuleLock.h"

ClassFactory* ClassFactory::New(CreatorFunction creator) noexcept { return new (std::nothrow) ClassFactory(creator); }

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() noexcept {
    const LONG count = InterlockedIncrement(&refCount_);
    if (count == 2) ModuleLock::Lock();
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() noexcept {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 1) {
        ModuleLock::Unlock();
    } else if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return creator_(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        ModuleLock::Lock();
    } else {
        ModuleLock::Unlock();
    }
    return S_OK;
}
