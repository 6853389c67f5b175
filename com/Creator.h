// Creates instances of a class T built on ObjectRoot: the plain object
// (ComObject<T>) without an outer unknown, the aggregatable one
// (ComAggObject<T>) with one. Constructor arguments are passed on to T.
//
// Results: E_POINTER for a null ppv; CLASS_E_NOAGGREGATION for an outer
// unknown with riid other than IID_IUnknown; E_OUTOFMEMORY when allocation
// or T's construction fails with std::bad_alloc (E_FAIL for any other
// exception); the lock's or FinalConstruct's failure; E_NOINTERFACE. On any
// failure *ppv is null and the object is destroyed (its module lock with it).
#pragma once

#include <new>
#include <utility>

#include "com/ComAggObject.h"
#include "com/ComObject.h"

template <class T>
class Creator {
public:
    Creator() = delete;

    template <class... Args>
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) noexcept {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            if (!IsEqualIID(riid, IID_IUnknown)) {
                return CLASS_E_NOAGGREGATION;
            }
            return Create<ComAggObject<T>>(riid, ppv, outer, std::forward<Args>(args)...);
        }
        return Create<ComObject<T>>(riid, ppv, std::forward<Args>(args)...);
    }

private:
    template <class Object, class... Args>
    static HRESULT Create(REFIID riid, void** ppv, Args&&... args) noexcept {
        Object* object = nullptr;
        try {
            object = new (std::nothrow) Object(std::forward<Args>(args)...);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        // The temporary reference keeps AddRef/Release pairs inside
        // FinalConstruct from destroying the half-made object.
        object->InternalAddRef();
        HRESULT hr = object->Construct();
        object->InternalRelease();
        if (SUCCEEDED(hr)) {
            hr = object->QueryInterface(riid, ppv);
        }
        if (FAILED(hr)) {
            delete object;
        }
        return hr;
    }
};
