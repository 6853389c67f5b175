// The IDispatch half of a dual interface, served from a DispatchTable whose
// invokers call Interface's vtable methods on this object.
//     class CRecordSet : public ObjectRoot, public DispatchImpl<IRecordSet> { ... };
//     CRecordSet::CRecordSet() : DispatchImpl<IRecordSet>(kRecordSetDispatch) {}
// The table must outlive the object (a namespace-scope constant).
#pragma once

#include "com/DispatchTable.h"

template <class Interface>
class DispatchImpl : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) noexcept override { return table_.GetTypeInfoCount(pctinfo); }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept override {
        return table_.GetTypeInfo(iTInfo, lcid, ppTInfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) noexcept override {
        return table_.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
    }
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override {
        return table_.Invoke(static_cast<Interface*>(this), dispIdMember, riid, lcid, wFlags, pDispParams,
                             pVarResult, pExcepInfo, puArgErr);
    }

protected:
    explicit DispatchImpl(const DispatchTable& table) noexcept : table_(table) {}
    ~DispatchImpl() = default;

private:
    const DispatchTable& table_;
};
