#include "EventPrinter.h"

#include <iostream>

#include "OleText.h"

namespace {

// Event argument `index` (first parameter 0) converted to vt; the arguments
// arrive last first in rgvarg, as Invoke passes them.
HRESULT ReadArgument(const DISPPARAMS& params, UINT index, VARTYPE vt, VARIANT* value) {
    if (index >= params.cArgs) return DISP_E_BADPARAMCOUNT;
    return VariantChangeType(value, &params.rgvarg[params.cArgs - 1 - index], 0, vt);
}

// A log text spans lines when it carries a failed statement (the database's
// message, then the statement): the later lines are indented.
std::string Indent(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out.push_back(c);
        if (c == '\n') out.append("        ");
    }
    return out;
}

}  // namespace

std::string EventPrinter::LastLog() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return lastLog_;
}

unsigned EventPrinter::LogCount() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return logCount_;
}

STDMETHODIMP EventPrinter::QueryInterface(REFIID riid, void** ppv) {
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

STDMETHODIMP_(ULONG) EventPrinter::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) EventPrinter::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP EventPrinter::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP EventPrinter::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP EventPrinter::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP EventPrinter::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    if (pDispParams == nullptr) return E_INVALIDARG;
    VARIANT type, code, text;
    VariantInit(&type);
    VariantInit(&code);
    VariantInit(&text);
    HRESULT hr = DISP_E_MEMBERNOTFOUND;
    if (dispIdMember == DISPID_EV_OnWriteLog) {
        // OnWriteLog(BSTR MsgString)
        hr = ReadArgument(*pDispParams, 0, VT_BSTR, &text);
        if (SUCCEEDED(hr)) {
            const std::lock_guard<std::mutex> guard(lock_);
            lastLog_ = OleText::ToUtf8(text.bstrVal);
            ++logCount_;
            std::cout << "    event OnWriteLog: " << Indent(lastLog_) << std::endl;
        }
    } else if (dispIdMember == DISPID_EV_OnCommandMsg) {
        // OnCommandMsg(long MsgType, long MsgCode, BSTR MsgString)
        hr = ReadArgument(*pDispParams, 0, VT_I4, &type);
        if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 1, VT_I4, &code);
        if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 2, VT_BSTR, &text);
        if (SUCCEEDED(hr)) {
            const std::lock_guard<std::mutex> guard(lock_);
            std::cout << "    event OnCommandMsg: type=" << type.lVal << " code=" << code.lVal
                      << " text=" << OleText::ToUtf8(text.bstrVal) << std::endl;
        }
    }
    VariantClear(&text);
    return hr;
}
