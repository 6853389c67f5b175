#include "com/DispatchTable.h"

namespace {

OLECHAR FoldAscii(OLECHAR c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<OLECHAR>(c - 'A' + 'a') : c;
}

bool SameName(const OLECHAR* a, const OLECHAR* b) noexcept {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// Resolves VT_BYREF|VT_VARIANT and VT_BYREF|type to a VARIANT that holds the
// value itself. `shallow` borrows the referenced value (it owns nothing and is
// never cleared). Null when the reference cannot be followed.
const VARIANT* Dereference(const VARIANT* arg, VARIANT& shallow) noexcept {
    if (arg->vt == (VT_BYREF | VT_VARIANT)) {
        arg = arg->pvarVal;
        if (arg == nullptr || arg->vt == (VT_BYREF | VT_VARIANT)) {
            return nullptr;
        }
    }
    if ((arg->vt & VT_BYREF) == 0) {
        return arg;
    }
    if (arg->byref == nullptr) {
        return nullptr;
    }
    VariantInit(&shallow);
    const VARTYPE base = static_cast<VARTYPE>(arg->vt & ~VT_BYREF);
    switch (base) {
        case VT_I2: shallow.iVal = *arg->piVal; break;
        case VT_I4: shallow.lVal = *arg->plVal; break;
        case VT_BOOL: shallow.boolVal = *arg->pboolVal; break;
        case VT_BSTR: shallow.bstrVal = *arg->pbstrVal; break;
        case VT_DISPATCH: shallow.pdispVal = *arg->ppdispVal; break;
        case VT_UNKNOWN: shallow.punkVal = *arg->ppunkVal; break;
        default: return nullptr;
    }
    shallow.vt = base;
    return &shallow;
}

// Brings one argument to the parameter's type: the caller's own VARIANT when
// it already has that type, else a converted copy in `temp` (cleared by the
// caller) or a borrowed by-reference value in `shallow` (never cleared).
// Returns the VARIANT to pass, or null with the failure in *hr.
const VARIANT* Coerce(const VARIANT* arg, VARTYPE type, VARIANT& temp, VARIANT& shallow, HRESULT* hr) noexcept {
    const VARIANT* value = Dereference(arg, shallow);
    if (value == nullptr) {
        *hr = DISP_E_TYPEMISMATCH;
        return nullptr;
    }
    if (value->vt == type) {
        return value;
    }
    if (value->vt == VT_EMPTY && type == VT_DISPATCH) {
        temp.vt = VT_DISPATCH;
        temp.pdispVal = nullptr;
        return &temp;
    }
    // mingw-w64 declares the source parameter without const; it is only read.
    const HRESULT changed = VariantChangeType(&temp, const_cast<VARIANT*>(value), 0, type);
    if (FAILED(changed)) {
        VariantInit(&temp);
        *hr = (changed == E_OUTOFMEMORY || changed == DISP_E_OVERFLOW) ? changed : DISP_E_TYPEMISMATCH;
        return nullptr;
    }
    return &temp;
}

// The coerced arguments of one call; clears its temporaries on every way out.
class CoercedArguments {
public:
    CoercedArguments() noexcept {
        for (VARIANT& v : temps_) {
            VariantInit(&v);
        }
    }
    ~CoercedArguments() {
        for (VARIANT& v : temps_) {
            VariantClear(&v);
        }
    }
    CoercedArguments(const CoercedArguments&) = delete;
    CoercedArguments& operator=(const CoercedArguments&) = delete;

    // Fills the arguments from rgvarg (reverse order). On failure *argErr is
    // the rgvarg index of the argument that did not convert.
    HRESULT Fill(const DispatchMember& member, const DISPPARAMS& params, UINT* argErr) noexcept {
        for (UINT i = 0; i < member.paramCount; ++i) {
            const UINT position = params.cArgs - 1 - i;
            HRESULT hr = S_OK;
            values_[i] = Coerce(&params.rgvarg[position], member.paramTypes[i], temps_[i], shallow_[i], &hr);
            if (values_[i] == nullptr) {
                if (argErr != nullptr) {
                    *argErr = position;
                }
                return hr;
            }
        }
        return S_OK;
    }

    const VARIANT* const* Values() const noexcept { return values_; }

private:
    VARIANT temps_[DispatchMember::kMaxParams] = {};
    VARIANT shallow_[DispatchMember::kMaxParams] = {};  // borrowed values: never cleared
    const VARIANT* values_[DispatchMember::kMaxParams] = {};
};

}  // namespace

const DispatchMember* DispatchTable::Find(DISPID id) const noexcept {
    for (const DispatchMember& member : members_) {
        if (member.id == id) {
            return &member;
        }
    }
    return nullptr;
}

const DispatchMember* DispatchTable::Find(const OLECHAR* name) const noexcept {
    for (const DispatchMember& member : members_) {
        if (SameName(member.name, name)) {
            return &member;
        }
    }
    return nullptr;
}

HRESULT DispatchTable::GetTypeInfoCount(UINT* pctinfo) const noexcept {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = typeInfo_ != nullptr ? TypeInfoSource::Count() : 0;
    return S_OK;
}

HRESULT DispatchTable::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) const noexcept {
    if (ppTInfo == nullptr) {
        return E_POINTER;
    }
    *ppTInfo = nullptr;
    if (typeInfo_ == nullptr || TypeInfoSource::Count() == 0) {
        return E_NOTIMPL;
    }
    if (iTInfo != 0) {
        return DISP_E_BADINDEX;
    }
    return typeInfo_->Get(lcid, ppTInfo);
}

HRESULT DispatchTable::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                     DISPID* rgDispId) const noexcept {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (rgszNames == nullptr || rgDispId == nullptr) {
        return E_POINTER;
    }
    if (cNames == 0) {
        return E_INVALIDARG;
    }
    const DispatchMember* member = Find(rgszNames[0]);
    if (member == nullptr) {
        for (UINT i = 0; i < cNames; ++i) {
            rgDispId[i] = DISPID_UNKNOWN;
        }
        return DISP_E_UNKNOWNNAME;
    }
    rgDispId[0] = member->id;
    // A parameter's DISPID is its position in the parameter list.
    HRESULT hr = S_OK;
    const UINT named = member->paramCount + (member->resultType != VT_EMPTY ? 1 : 0);
    for (UINT i = 1; i < cNames; ++i) {
        rgDispId[i] = DISPID_UNKNOWN;
        for (UINT p = 0; p < named; ++p) {
            if (SameName(member->paramNames[p], rgszNames[i])) {
                rgDispId[i] = static_cast<DISPID>(p);
                break;
            }
        }
        if (rgDispId[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT DispatchTable::Invoke(IDispatch* self, DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                              DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                              UINT* puArgErr) const noexcept {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (pVarResult != nullptr) {
        VariantInit(pVarResult);
    }
    const DispatchMember* member = Find(dispIdMember);
    if (member == nullptr || (wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (pDispParams == nullptr) {
        return E_INVALIDARG;
    }
    if (pDispParams->cNamedArgs > 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (pDispParams->cArgs != member->paramCount) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    CoercedArguments args;
    HRESULT hr = args.Fill(*member, *pDispParams, puArgErr);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT retval{};
    VariantInit(&retval);
    hr = member->invoke(self, args.Values(), &retval);
    if (member->resultType == VT_EMPTY) {
        return hr;
    }
    retval.vt = member->resultType;
    if (SUCCEEDED(hr) && pVarResult != nullptr) {
        *pVarResult = retval;  // ownership of a BSTR passes to the caller
    } else {
        VariantClear(&retval);
    }
    return hr;
}
