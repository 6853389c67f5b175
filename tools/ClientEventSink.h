// The event sink of a client program: the object that a database object
// calls back through its connection point. It answers QueryInterface for
// IUnknown, IDispatch and DIID__IZeveVevuVADEvents (the component subscribes
// only sinks that answer the event interface), reads the arguments of each
// event that reaches Invoke, and hands them to OnWriteLog or OnCommandMsg
// with the text as UTF-8.
//
// Reference counted: created with one reference, destroyed by its last
// Release. Thread-safety: events may arrive on any thread; a derived class
// guards its own state.
// Invoke answers DISP_E_MEMBERNOTFOUND for another DISPID, E_INVALIDARG for
// null parameters, DISP_E_BADPARAMCOUNT for missing arguments and the
// conversion's HRESULT for an argument of the wrong type; otherwise S_OK.
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>
#include <string_view>

class ClientEventSink : public _IZeveVevuVADEvents {
public:
    ClientEventSink(const ClientEventSink&) = delete;
    ClientEventSink& operator=(const ClientEventSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // A multi-line text (a failed statement comes as the database's message,
    // then the statement) with "\r" dropped and every later line indented.
    static std::string Indented(std::string_view text, std::string_view indent);

protected:
    ClientEventSink() = default;
    virtual ~ClientEventSink() = default;

    virtual void OnWriteLog(const std::string& text) = 0;
    virtual void OnCommandMsg(LONG type, LONG code, const std::string& text) = 0;

private:
    LONG references_ = 1;
};
