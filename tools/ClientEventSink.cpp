#include "tools/ClientEventSink.h"

#include <new>

#include "tools/ClientText.h"

namespace {

// Event argument `index` (first parameter 0) converted to vt; the arguments
// arrive last first in rgvarg, as Invoke passes them.
HRESULT ReadArgument(const DISPPARAMS& params, UINT index, VARTYPE vt, VARIANT* value) {
    if (index >= params.cArgs || params.rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
    return VariantChangeType(value, &params.rgvarg[params.cArgs - 1 - index], 0, vt);
}

}  // namespace

std::string ClientEventSink::Indented(std::string_view text, std::string_view indent) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out.push_back(c);
        if (c == '\n') out.append(indent);
    }
    return out;
}

STDMETHODIMP ClientEventSink::QueryInterface(REFIID riid, void** ppv) {
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

STDMETHODIMP_(ULONG) ClientEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) ClientEventSink::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ClientEventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP ClientEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ClientEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP ClientEventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                     EXCEPINFO*, UINT*) {
    if (pDispParams == nullptr) return E_INVALIDARG;
    if (dispIdMember != DISPID_EV_OnWriteLog && dispIdMember != DISPID_EV_OnCommandMsg) return DISP_E_MEMBERNOTFOUND;
    VARIANT type, code, text;
    VariantInit(&type);
    VariantInit(&code);
    VariantInit(&text);
    HRESULT hr = S_OK;
    try {
        if (dispIdMember == DISPID_EV_OnWriteLog) {
            // OnWriteLog(BSTR MsgString)
            hr = ReadArgument(*pDispParams, 0, VT_BSTR, &text);
            if (SUCCEEDED(hr)) OnWriteLog(BstrToUtf8(text.bstrVal));
        } else {
            // OnCommandMsg(long MsgType, long MsgCode, BSTR MsgString)
            hr = ReadArgument(*pDispParams, 0, VT_I4, &type);
            if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 1, VT_I4, &code);
            if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 2, VT_BSTR, &text);
            if (SUCCEEDED(hr)) OnCommandMsg(type.lVal, code.lVal, BstrToUtf8(text.bstrVal));
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {  // a handler's failure stays on the client's side
        hr = E_UNEXPECTED;
    }
    VariantClear(&text);
    return hr;
}
