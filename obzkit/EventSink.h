// obzkit::EventSink: the base of a client's event sink, the object that a
// database object calls back through its connection point. It answers
// QueryInterface for IUnknown, IDispatch and DIID__IZeveVevuVADEvents (the
// component subscribes only sinks that answer the event interface), reads
// the arguments of each event that reaches Invoke and hands them to
// OnWriteLog or OnCommandMsg with the text as UTF-8.
//
// Reference counted: created with one reference (new, then keep it in a
// Ref), destroyed by its last Release. Thread-safety: events may arrive on
// any thread; a derived class guards its own state.
// Invoke answers DISP_E_MEMBERNOTFOUND for another DISPID, E_INVALIDARG for
// null parameters, DISP_E_BADPARAMCOUNT for missing arguments and the
// conversion's HRESULT for an argument of the wrong type; E_OUTOFMEMORY or
// E_UNEXPECTED when a handler throws; otherwise S_OK.
#pragma once

#include <OBZeveVevuVAD.h>

#include <new>
#include <string>
#include <string_view>

#include "obzkit/Utf8.h"

namespace obzkit {

class EventSink : public _IZeveVevuVADEvents {
public:
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
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
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    // The component calls its sinks by DISPID only.
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        if (pDispParams == nullptr) return E_INVALIDARG;
        if (dispIdMember != DISPID_EV_OnWriteLog && dispIdMember != DISPID_EV_OnCommandMsg)
            return DISP_E_MEMBERNOTFOUND;
        VARIANT type, code, text;
        VariantInit(&type);
        VariantInit(&code);
        VariantInit(&text);
        HRESULT hr = S_OK;
        try {
            if (dispIdMember == DISPID_EV_OnWriteLog) {
                // OnWriteLog(BSTR MsgString)
                hr = ReadArgument(*pDispParams, 0, VT_BSTR, &text);
                if (SUCCEEDED(hr)) OnWriteLog(ToUtf8(text.bstrVal));
            } else {
                // OnCommandMsg(long MsgType, long MsgCode, BSTR MsgString)
                hr = ReadArgument(*pDispParams, 0, VT_I4, &type);
                if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 1, VT_I4, &code);
                if (SUCCEEDED(hr)) hr = ReadArgument(*pDispParams, 2, VT_BSTR, &text);
                if (SUCCEEDED(hr)) OnCommandMsg(type.lVal, code.lVal, ToUtf8(text.bstrVal));
            }
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {  // a handler's failure stays on the client's side
            hr = E_UNEXPECTED;
        }
        VariantClear(&text);
        return hr;
    }

    // A multi-line text (a failed statement comes as the database's message,
    // CR LF, then the statement) with "\r" dropped and every later line
    // indented, for printing.
    static std::string Indented(std::string_view text, std::string_view indent) {
        std::string out;
        for (char c : text) {
            if (c == '\r') continue;
            out.push_back(c);
            if (c == '\n') out.append(indent);
        }
        return out;
    }

protected:
    EventSink() = default;
    virtual ~EventSink() = default;

    virtual void OnWriteLog(const std::string& text) = 0;
    virtual void OnCommandMsg(LONG type, LONG code, const std::string& text) = 0;

private:
    // Event argument `index` (first parameter 0) converted to vt; Invoke
    // passes the arguments last first in rgvarg.
    static HRESULT ReadArgument(const DISPPARAMS& params, UINT index, VARTYPE vt, VARIANT* value) {
        if (index >= params.cArgs || params.rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
        return VariantChangeType(value, &params.rgvarg[params.cArgs - 1 - index], 0, vt);
    }

    LONG references_ = 1;
};

}  // namespace obzkit
