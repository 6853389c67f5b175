// The class object of one creatable class: IClassFactory over the class's
// creator, held in the module's class-object cache.
//
// Reference counting: the object starts with the cache's reference, which
// does not lock the module. While any further reference exists the factory
// holds one module lock, taken when the count rises from 1 to 2 and given
// back when it falls to 1 again; so a client holding the factory keeps the
// server loaded, while the cached factory alone does not. The module releases
// the cache's reference when it ends.
// Thread-safety: all methods are safe from any thread.
#pragma once

#include "com/Platform.h"

class ClassFactory final : public IClassFactory {
public:
    // Makes the plain object (null outer) or the aggregatable one.
    using CreatorFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

    // Null when out of memory. The result holds the caller's (the cache's)
    // reference.
    static ClassFactory* New(CreatorFunction creator) noexcept;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // E_POINTER for a null ppv (otherwise cleared first); CLASS_E_NOAGGREGATION
    // for an outer unknown with riid other than IID_IUnknown; else the
    // creator's result.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
    // TRUE takes a module lock, FALSE gives one back; always S_OK.
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    explicit ClassFactory(CreatorFunction creator) noexcept : creator_(creator) {}
    ~ClassFactory() = default;

    CreatorFunction creator_;
    LONG volatile refCount_ = 1;
};
