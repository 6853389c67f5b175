// The example's event sink: a client-side object that the database object
// calls back. It answers QueryInterface for IUnknown, IDispatch and
// DIID__IZeveVevuVADEvents (the component subscribes only sinks that answer
// the event interface) and prints every event that reaches Invoke:
//   event OnWriteLog: ZeveVevuVAD64--...
//   event OnCommandMsg: type=2 code=1 text=System Connected
// It also keeps the last log text and counts the log lines, so that the
// example can check that a failure was reported.
// Reference counted: created with one reference, destroyed by its last
// Release. Thread-safety: events may arrive on any thread.
#pragma once

#include <OBZeveVevuVAD.h>

#include <mutex>
#include <string>

class EventPrinter final : public _IZeveVevuVADEvents {
public:
    EventPrinter() = default;
    EventPrinter(const EventPrinter&) = delete;
    EventPrinter& operator=(const EventPrinter&) = delete;

    // The text of the last OnWriteLog event, and how many have arrived.
    std::string LastLog() const;
    unsigned LogCount() const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    ~EventPrinter() = default;

    LONG references_ = 1;
    mutable std::mutex lock_;
    std::string lastLog_;
    unsigned logCount_ = 0;
};
