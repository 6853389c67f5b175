#include "ObzShellSink.h"

#include <mutex>
#include <string>

#include "ObzShellText.h"

namespace {

std::mutex outputLock;

// Argument `index` of an event (rgvarg holds them last first), as type vt.
bool Argument(const DISPPARAMS& params, UINT index, VARTYPE vt, VARIANT* value) {
    VariantInit(value);
    if (index >= params.cArgs) return false;
    return SUCCEEDED(VariantChangeType(value, &params.rgvarg[params.cArgs - 1 - index], 0, vt));
}

// Continuation lines of a multi-line text are indented under the first.
std::string Indented(std::string text) {
    std::string result;
    for (char c : text) {
        if (c == '\r') continue;
        result.push_back(c);
        if (c == '\n') result.append("    ");
    }
    return result;
}

}  // namespace

STDMETHODIMP ObzShellSink::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID__IZeveVevuVADEvents)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ObzShellSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) ObzShellSink::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ObzShellSink::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP ObzShellSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ObzShellSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP ObzShellSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    if (pDispParams == nullptr) return E_INVALIDARG;
    std::string line;
    if (dispIdMember == DISPID_EV_OnWriteLog) {
        VARIANT text;
        if (!Argument(*pDispParams, 0, VT_BSTR, &text)) return DISP_E_TYPEMISMATCH;
        line = "event OnWriteLog: " + Indented(BstrToUtf8(text.bstrVal));
        VariantClear(&text);
    } else if (dispIdMember == DISPID_EV_OnCommandMsg) {
        VARIANT type, code, text;
        VariantInit(&type);
        VariantInit(&code);
        VariantInit(&text);
        const bool read = Argument(*pDispParams, 0, VT_I4, &type) && Argument(*pDispParams, 1, VT_I4, &code) &&
                          Argument(*pDispParams, 2, VT_BSTR, &text);
        if (read) {
            line = "event OnCommandMsg: " + std::to_string(type.lVal) + " " + std::to_string(code.lVal) + " " +
                   Indented(BstrToUtf8(text.bstrVal));
        }
        VariantClear(&text);
        if (!read) return DISP_E_TYPEMISMATCH;
    } else {
        return DISP_E_MEMBERNOTFOUND;
    }
    const std::lock_guard<std::mutex> lock(outputLock);
    out_ << line << std::endl;
    return S_OK;
}
