// A test object that counts its references and can play an IDispatch with a
// default property, or a plain IUnknown.
#pragma once

#include <atomic>

#include <comrt/comrt.h>

namespace comrt_test {

class CountingObject final : public IDispatch {
public:
    // answersDispatch: whether QueryInterface gives IDispatch.
    explicit CountingObject(bool answersDispatch = true) : answersDispatch_(answersDispatch) {
        VariantInit(&value_);
    }
    CountingObject(const CountingObject&) = delete;
    CountingObject& operator=(const CountingObject&) = delete;
    ~CountingObject() { VariantClear(&value_); }

    // References beyond the one the test itself holds on the stack object.
    LONG Count() const { return count_.load(); }
    // The value that the default property (DISPID_VALUE) answers; empty
    // makes Invoke fail.
    VARIANT& Value() { return value_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || (answersDispatch_ && riid == IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++count_); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--count_); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || value_.vt == VT_EMPTY) {
            return DISP_E_MEMBERNOTFOUND;
        }
        return VariantCopy(result, &value_);
    }

private:
    std::atomic<LONG> count_{0};
    bool answersDispatch_;
    VARIANT value_;
};

}  // namespace comrt_test
