// The shell's event sink: subscribed to a database object's events, it
// writes each event to the output as it arrives:
//   event OnWriteLog: TEXT
//   event OnCommandMsg: TYPE CODE TEXT
// A text of several lines continues on indented lines.
// It answers QueryInterface for IUnknown, IDispatch and the event interface.
// Reference counted; created with one reference, destroyed by its last
// Release. Thread-safety: events may arrive on any thread; output lines are
// written whole.
#pragma once

#include <OBZeveVevuVAD.h>

#include <ostream>

class ObzShellSink final : public _IZeveVevuVADEvents {
public:
    explicit ObzShellSink(std::ostream& out) noexcept : out_(out) {}
    ObzShellSink(const ObzShellSink&) = delete;
    ObzShellSink& operator=(const ObzShellSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    ~ObzShellSink() = default;

    std::ostream& out_;
    LONG references_ = 1;
};
