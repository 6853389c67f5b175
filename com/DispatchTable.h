// IDispatch served from one table of members per interface; type
// information, where the platform has it, from the TypeInfoSource given
// (GetTypeInfoCount answers 0 and GetTypeInfo E_NOTIMPL without one or
// without the platform's support; where it is offered, an index other than
// 0 gives DISP_E_BADINDEX). Name lookup folds ASCII case; Invoke accepts DISPATCH_METHOD,
// alone or with DISPATCH_PROPERTYGET, no named arguments, arguments in
// reverse order, each coerced to its parameter type (VT_I2, VT_I4, VT_BSTR,
// VT_BOOL, VT_DISPATCH, VT_EMPTY, and any of them by reference), and returns
// the retval in pVarResult. Results follow automation's codes:
// DISP_E_UNKNOWNINTERFACE, DISP_E_MEMBERNOTFOUND, DISP_E_NONAMEDARGS,
// DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH (or DISP_E_OVERFLOW) with
// *puArgErr the rgvarg index, and otherwise the method's own HRESULT.
// Thread-safety: immutable; the members are called on the caller's thread.
#pragma once

#include <span>

#include "com/DispatchMember.h"
#include "com/Platform.h"
#include "com/TypeInfoSource.h"

class DispatchTable {
public:
    constexpr explicit DispatchTable(std::span<const DispatchMember> members,
                                     const TypeInfoSource* typeInfo = nullptr) noexcept
        : members_(members), typeInfo_(typeInfo) {}

    HRESULT GetTypeInfoCount(UINT* pctinfo) const noexcept;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) const noexcept;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) const noexcept;
    HRESULT Invoke(IDispatch* self, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) const noexcept;

    // The member with that DISPID, or null.
    const DispatchMember* Find(DISPID id) const noexcept;
    // The member with that name (ASCII case folded), or null.
    const DispatchMember* Find(const OLECHAR* name) const noexcept;

private:
    std::span<const DispatchMember> members_;
    const TypeInfoSource* typeInfo_;
};
