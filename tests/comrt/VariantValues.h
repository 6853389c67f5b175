// VARIANT values as automation clients pass them, for the tests of the
// conversions and of late-bound calls. Str allocates a BSTR that the caller
// frees (VariantClear); the others own nothing.
#pragma once

#include <string_view>

#include <comrt/comrt.h>

namespace variants {
inline VARIANT Of(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
inline VARIANT Empty() { return Of(VT_EMPTY); }
inline VARIANT Null() { return Of(VT_NULL); }
inline VARIANT I2(SHORT x) { VARIANT v = Of(VT_I2); v.iVal = x; return v; }
inline VARIANT I4(LONG x) { VARIANT v = Of(VT_I4); v.lVal = x; return v; }
inline VARIANT UI4(ULONG x) { VARIANT v = Of(VT_UI4); v.ulVal = x; return v; }
inline VARIANT Int(INT x) { VARIANT v = Of(VT_INT); v.intVal = x; return v; }
inline VARIANT R8(double x) { VARIANT v = Of(VT_R8); v.dblVal = x; return v; }
inline VARIANT Bool(bool x) { VARIANT v = Of(VT_BOOL); v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; return v; }
inline VARIANT Dispatch(IDispatch* d) { VARIANT v = Of(VT_DISPATCH); v.pdispVal = d; return v; }
// A reference to another VARIANT, as script engines pass variables.
inline VARIANT Ref(VARIANT* target) { VARIANT v = Of(VT_BYREF | VT_VARIANT); v.pvarVal = target; return v; }
inline VARIANT Str(std::u16string_view text) {
    VARIANT v = Of(VT_BSTR);
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}
}  // namespace variants
