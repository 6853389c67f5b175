#include "VariantConverter.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <limits>
#include <string>

#include "Utf.h"

namespace {
constexpr VARTYPE kVector = 0x1000;
constexpr VARTYPE kReserved = 0x8000;
constexpr VARTYPE kRecord = 36;
constexpr VARTYPE kClsid = 72;

// A numeric value on its way between two VARIANT types.
struct Number {
    enum class Kind { Signed, Unsigned, Real } kind = Kind::Signed;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    bool single = false;  // came from R4: printed with R4 precision
    bool boolean = false; // came from BOOL: wraps into unsigned types

    static Number Signed(int64_t v) { return Number{Kind::Signed, v, 0, 0, false, false}; }
    static Number Unsigned(uint64_t v) { return Number{Kind::Unsigned, 0, v, 0, false, false}; }
    static Number Real(double v, bool single = false) { return Number{Kind::Real, 0, 0, v, single, false}; }
};

bool IsNumericType(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
        case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
            return true;
        default:
            return false;
    }
}

Number ReadNumber(const VARIANT& v) {
    switch (v.vt) {
        case VT_I1: return Number::Signed(v.cVal);
        case VT_UI1: return Number::Unsigned(v.bVal);
        case VT_I2: return Number::Signed(v.iVal);
        case VT_UI2: return Number::Unsigned(v.uiVal);
        case VT_I4: return Number::Signed(v.lVal);
        case VT_INT: return Number::Signed(v.intVal);
        case VT_UI4: return Number::Unsigned(v.ulVal);
        case VT_UINT: return Number::Unsigned(v.uintVal);
        case VT_I8: return Number::Signed(v.llVal);
        case VT_UI8: return Number::Unsigned(v.ullVal);
        case VT_R4: return Number::Real(v.fltVal, true);
        default: return Number::Real(v.dblVal);
    }
}

// Limits of an integer type as [min, max] in the signed or unsigned domain.
struct Range {
    int64_t min;
    uint64_t max;
};

Range RangeOf(VARTYPE vt) {
    switch (vt) {
        case VT_I1: return {INT8_MIN, INT8_MAX};
        case VT_UI1: return {0, UINT8_MAX};
        case VT_I2: return {INT16_MIN, INT16_MAX};
        case VT_UI2: return {0, UINT16_MAX};
        case VT_I4: case VT_INT: return {INT32_MIN, INT32_MAX};
        case VT_UI4: case VT_UINT: return {0, UINT32_MAX};
        case VT_I8: return {INT64_MIN, INT64_MAX};
        default: return {0, UINT64_MAX};  // VT_UI8
    }
}

void StoreInteger(VARIANT* out, VARTYPE vt, uint64_t bits) {
    switch (vt) {
        case VT_I1: out->cVal = static_cast<CHAR>(bits); break;
        case VT_UI1: out->bVal = static_cast<BYTE>(bits); break;
        case VT_I2: out->iVal = static_cast<SHORT>(bits); break;
        case VT_UI2: out->uiVal = static_cast<USHORT>(bits); break;
        case VT_I4: out->lVal = static_cast<LONG>(bits); break;
        case VT_INT: out->intVal = static_cast<INT>(bits); break;
        case VT_UI4: out->ulVal = static_cast<ULONG>(bits); break;
        case VT_UINT: out->uintVal = static_cast<UINT>(bits); break;
        case VT_I8: out->llVal = static_cast<LONGLONG>(bits); break;
        default: out->ullVal = bits; break;
    }
    out->vt = vt;
}

HRESULT StoreNumber(VARIANT* out, VARTYPE vt, Number n) {
    if (vt == VT_R8 || vt == VT_R4) {
        double d = n.kind == Number::Kind::Real       ? n.d
                   : n.kind == Number::Kind::Signed ? static_cast<double>(n.i)
                                                    : static_cast<double>(n.u);
        if (vt == VT_R4) {
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(d);
        } else {
            out->dblVal = d;
        }
        out->vt = vt;
        return S_OK;
    }
    const Range range = RangeOf(vt);
    if (n.boolean) {
        // A BOOL lands bit for bit: VARIANT_TRUE becomes all ones.
        StoreInteger(out, vt, static_cast<uint64_t>(n.i));
        return S_OK;
    }
    if (n.kind == Number::Kind::Real) {
        // Banker's rounding, as automation rounds (the default rounding mode).
        const double r = std::nearbyint(n.d);
        if (!(r >= -9223372036854775808.0 && r < 18446744073709551616.0)) return DISP_E_OVERFLOW;
        n = r < 0 ? Number::Signed(static_cast<int64_t>(r)) : Number::Unsigned(static_cast<uint64_t>(r));
    }
    if (n.kind == Number::Kind::Signed) {
        if (n.i < 0 ? n.i < range.min : static_cast<uint64_t>(n.i) > range.max) return DISP_E_OVERFLOW;
        StoreInteger(out, vt, static_cast<uint64_t>(n.i));
    } else {
        if (n.u > range.max) return DISP_E_OVERFLOW;
        StoreInteger(out, vt, n.u);
    }
    return S_OK;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(BSTR text) {
    std::string s = Utf::ToUtf8(std::u16string_view(text, SysStringLen(text)));
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Parses a decimal number: sign, digits, fraction, exponent. Whole numbers are
// read exactly; the rest as double.
HRESULT ParseNumber(BSTR text, Number* n) {
    if (text == nullptr) return DISP_E_TYPEMISMATCH;
    const std::string s = Trimmed(text);
    size_t pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    const size_t intStart = pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
    const size_t intDigits = pos - intStart;
    size_t fracDigits = 0;
    bool whole = true;
    if (pos < s.size() && s[pos] == '.') {
        whole = false;
        ++pos;
        const size_t fracStart = pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
        fracDigits = pos - fracStart;
    }
    if (intDigits + fracDigits == 0) return DISP_E_TYPEMISMATCH;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        whole = false;
        ++pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
        const size_t expStart = pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
        if (pos == expStart) return DISP_E_TYPEMISMATCH;
    }
    if (pos != s.size()) return DISP_E_TYPEMISMATCH;

    if (whole) {
        uint64_t magnitude = 0;
        const auto [end, ec] = std::from_chars(s.data() + intStart, s.data() + pos, magnitude);
        if (ec != std::errc() || end != s.data() + pos) return DISP_E_OVERFLOW;
        if (!negative) {
            *n = Number::Unsigned(magnitude);
        } else if (magnitude <= static_cast<uint64_t>(INT64_MAX) + 1) {
            *n = Number::Signed(magnitude == 0 ? 0 : static_cast<int64_t>(0 - magnitude));
        } else {
            return DISP_E_OVERFLOW;
        }
        return S_OK;
    }
    // The text is checked above, so strtod in the C locale reads all of it.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t());
    const double d = strtod_l(s.c_str(), nullptr, cLocale);
    if (std::isinf(d)) return DISP_E_OVERFLOW;
    *n = Number::Real(d);
    return S_OK;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

HRESULT ParseBool(BSTR text, VARIANT_BOOL* value) {
    if (text == nullptr) return DISP_E_TYPEMISMATCH;
    const std::string s = Trimmed(text);
    if (EqualsNoCase(s, "true")) {
        *value = VARIANT_TRUE;
        return S_OK;
    }
    if (EqualsNoCase(s, "false")) {
        *value = VARIANT_FALSE;
        return S_OK;
    }
    Number n;
    const HRESULT hr = ParseNumber(text, &n);
    if (hr == DISP_E_OVERFLOW) {
        *value = VARIANT_TRUE;  // too large to hold, but certainly not zero
        return S_OK;
    }
    if (FAILED(hr)) return hr;
    const bool nonZero = n.kind == Number::Kind::Real ? n.d != 0 : (n.i != 0 || n.u != 0);
    *value = nonZero ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

std::string NumberText(const Number& n) {
    switch (n.kind) {
        case Number::Kind::Signed: return std::to_string(n.i);
        case Number::Kind::Unsigned: return std::to_string(n.u);
        case Number::Kind::Real: break;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, n.single ? "%.7G" : "%.15G", n.d);
    return buffer;
}

HRESULT StoreText(VARIANT* out, const std::string& text) {
    const std::u16string wide = Utf::ToUtf16(text);
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (b == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

// Size of the value a scalar reference points to.
size_t ReferencedSize(VARTYPE base) {
    switch (base) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
        default: return 0;
    }
}
}  // namespace

HRESULT VariantConverter::ValidateType(VARTYPE vt) {
    const VARTYPE extra = vt & (kVector | VT_ARRAY | VT_BYREF | kReserved);
    const VARTYPE base = vt & VT_TYPEMASK;
    // No SAFEARRAY or record support in this runtime.
    if ((extra & (kVector | kReserved | VT_ARRAY)) != 0) return DISP_E_BADVARTYPE;
    if (base >= VT_VOID || base == 15) return DISP_E_BADVARTYPE;
    if ((extra & VT_BYREF) && base <= VT_NULL) return DISP_E_BADVARTYPE;
    return S_OK;
}

HRESULT VariantConverter::Clear(VARIANT* v) {
    if (v == nullptr) return E_INVALIDARG;
    const HRESULT hr = ValidateType(v->vt);
    if (FAILED(hr)) return hr;
    switch (v->vt) {
        case VT_BSTR:
            SysFreeString(v->bstrVal);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (v->punkVal != nullptr) v->punkVal->Release();
            break;
        default:
            break;  // plain values and references own nothing
    }
    v->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantConverter::Copy(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (FAILED(ValidateType(src->vt)) || (src->vt & VT_TYPEMASK) == kRecord ||
        (src->vt & VT_TYPEMASK) == kClsid) {
        return DISP_E_BADVARTYPE;
    }
    if (dest == src) return S_OK;
    VARIANT copy = *src;
    if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
        if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    }
    const HRESULT hr = Clear(dest);
    if (FAILED(hr)) {
        if (copy.vt == VT_BSTR) SysFreeString(copy.bstrVal);
        return hr;
    }
    if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal != nullptr) copy.punkVal->AddRef();
    *dest = copy;
    return S_OK;
}

HRESULT VariantConverter::CopyInd(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if ((src->vt & VT_BYREF) == 0) return Copy(dest, src);
    if (FAILED(ValidateType(src->vt)) || src->byref == nullptr) return E_INVALIDARG;

    const VARIANT* from = src;
    if (src->vt == (VT_BYREF | VT_VARIANT)) {
        from = src->pvarVal;
        // A reference to a reference to a VARIANT is not followed.
        if (from->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        if ((from->vt & VT_BYREF) == 0) {
            VARIANT value;
            VariantInit(&value);
            HRESULT hr = Copy(&value, from);
            if (FAILED(hr)) return hr;
            hr = Clear(dest);
            if (FAILED(hr)) {
                Clear(&value);
                return hr;
            }
            *dest = value;
            return S_OK;
        }
        if (FAILED(ValidateType(from->vt)) || from->byref == nullptr) return E_INVALIDARG;
    }

    const VARTYPE base = from->vt & VT_TYPEMASK;
    VARIANT value;
    VariantInit(&value);
    value.vt = base;
    switch (base) {
        case VT_BSTR: {
            BSTR text = *from->pbstrVal;
            value.bstrVal = text == nullptr
                                ? nullptr
                                : SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
            if (text != nullptr && value.bstrVal == nullptr) return E_OUTOFMEMORY;
            break;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH:
            value.punkVal = *from->ppunkVal;
            if (value.punkVal != nullptr) value.punkVal->AddRef();
            break;
        default: {
            const size_t size = ReferencedSize(base);
            if (size == 0) return E_INVALIDARG;  // DECIMAL and the like
            std::memcpy(&value.llVal, from->byref, size);
            break;
        }
    }
    const HRESULT hr = Clear(dest);
    if (FAILED(hr)) {
        Clear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

HRESULT VariantConverter::ValueProperty(IDispatch* object, VARIANT* value) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VariantInit(value);
    const HRESULT hr =
        object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
    if (FAILED(hr)) {
        Clear(value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT VariantConverter::Coerce(VARIANT* out, const VARIANT& src, USHORT flags, VARTYPE vt) {
    const VARTYPE from = src.vt;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        if (vt == VT_EMPTY && from == VT_NULL) return DISP_E_TYPEMISMATCH;
        if (from == VT_ERROR) return DISP_E_TYPEMISMATCH;
        out->vt = vt;
        return S_OK;
    }
    if (from == vt) return Copy(out, &src);

    if (from == VT_DISPATCH && vt != VT_UNKNOWN) {
        // A dispatch object converts through its default property.
        if ((flags & VARIANT_NOVALUEPROP) != 0 || src.pdispVal == nullptr) return DISP_E_TYPEMISMATCH;
        VARIANT value;
        HRESULT hr = ValueProperty(src.pdispVal, &value);
        if (FAILED(hr)) return hr;
        VARIANT plain;
        VariantInit(&plain);
        hr = CopyInd(&plain, &value);
        Clear(&value);
        if (SUCCEEDED(hr)) hr = Coerce(out, plain, flags | VARIANT_NOVALUEPROP, vt);
        Clear(&plain);
        return hr;
    }

    switch (vt) {
        case VT_UNKNOWN:
            if (from != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
            out->vt = VT_UNKNOWN;
            out->punkVal = src.punkVal;
            if (out->punkVal != nullptr) out->punkVal->AddRef();
            return S_OK;
        case VT_DISPATCH: {
            if (from != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
            IDispatch* object = nullptr;
            if (src.punkVal != nullptr) {
                void* p = nullptr;
                if (FAILED(src.punkVal->QueryInterface(IID_IDispatch, &p)) || p == nullptr) {
                    return DISP_E_TYPEMISMATCH;
                }
                object = static_cast<IDispatch*>(p);
            }
            out->vt = VT_DISPATCH;
            out->pdispVal = object;
            return S_OK;
        }
        case VT_BSTR:
            if (from == VT_EMPTY) return StoreText(out, std::string());
            if (from == VT_BOOL) {
                if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
                    return StoreText(out, src.boolVal ? "True" : "False");
                }
                return StoreText(out, std::to_string(src.boolVal));
            }
            if (IsNumericType(from)) return StoreText(out, NumberText(ReadNumber(src)));
            return DISP_E_TYPEMISMATCH;
        case VT_BOOL: {
            VARIANT_BOOL b = VARIANT_FALSE;
            if (from == VT_BSTR) {
                const HRESULT hr = ParseBool(src.bstrVal, &b);
                if (FAILED(hr)) return hr;
            } else if (IsNumericType(from)) {
                const Number n = ReadNumber(src);
                const bool nonZero = n.kind == Number::Kind::Real ? n.d != 0 : (n.i != 0 || n.u != 0);
                b = nonZero ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (from != VT_EMPTY) {
                return DISP_E_TYPEMISMATCH;
            }
            out->vt = VT_BOOL;
            out->boolVal = b;
            return S_OK;
        }
        default:
            break;
    }
    if (!IsNumericType(vt)) return DISP_E_TYPEMISMATCH;
    Number n;
    if (from == VT_EMPTY) {
        n = Number::Signed(0);
    } else if (from == VT_BOOL) {
        n = Number::Signed(src.boolVal);
        n.boolean = true;
    } else if (from == VT_BSTR) {
        const HRESULT hr = ParseNumber(src.bstrVal, &n);
        if (FAILED(hr)) return hr;
    } else if (IsNumericType(from)) {
        n = ReadNumber(src);
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    return StoreNumber(out, vt, n);
}

HRESULT VariantConverter::ChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    HRESULT hr = ValidateType(src->vt);
    if (SUCCEEDED(hr)) hr = ValidateType(vt);
    if (FAILED(hr)) return hr;
    if ((src->vt & VT_BYREF) && src->byref == nullptr) return DISP_E_TYPEMISMATCH;
    if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;

    // Work on a dereferenced copy, so dest may be src.
    VARIANT value;
    VariantInit(&value);
    hr = CopyInd(&value, src);
    if (FAILED(hr)) return hr;
    VARIANT result;
    VariantInit(&result);
    hr = Coerce(&result, value, flags, vt);
    Clear(&value);
    if (FAILED(hr)) return hr;
    hr = Clear(dest);
    if (FAILED(hr)) {
        Clear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

void VariantInit(VARIANTARG* v) {
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->llVal = 0;
    v->brecVal.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANTARG* v) { return VariantConverter::Clear(v); }

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) { return VariantConverter::Copy(dest, src); }

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) { return VariantConverter::CopyInd(dest, src); }

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    return VariantConverter::ChangeType(dest, src, flags, vt);
}
