// VARIANT handling behind VariantClear, VariantCopy, VariantCopyInd and
// VariantChangeType, with the Windows results. Supported value types: EMPTY,
// NULL, the integer types (I1 to UI8, INT, UINT), R4, R8, BOOL, BSTR,
// DISPATCH, UNKNOWN, and references to them (VT_BYREF, including
// VT_BYREF|VT_VARIANT). Arrays and records have no support here and count as
// bad types; CY, DATE, DECIMAL and ERROR values are copied but not converted.
// Ownership: dest receives its own BSTR copies and interface references.
// Thread-safety: stateless; a VARIANT itself is not guarded.
// Failure: E_INVALIDARG for null arguments, DISP_E_BADVARTYPE for an
// unusable type, DISP_E_TYPEMISMATCH for an impossible conversion,
// DISP_E_OVERFLOW when the value does not fit; dest is untouched on failure.
#pragma once

#include <comrt/objbase.h>

class VariantConverter {
public:
    static HRESULT Clear(VARIANT* v);
    static HRESULT Copy(VARIANT* dest, const VARIANT* src);
    static HRESULT CopyInd(VARIANT* dest, const VARIANT* src);
    static HRESULT ChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

private:
    // S_OK when vt names a value the runtime can hold.
    static HRESULT ValidateType(VARTYPE vt);
    // Converts a value (no reference) into a fresh VARIANT `out`.
    static HRESULT Coerce(VARIANT* out, const VARIANT& src, USHORT flags, VARTYPE vt);
    // Asks a dispatch object for its default property value.
    static HRESULT ValueProperty(IDispatch* object, VARIANT* value);
};
