// A client's event sink for tests: answers IUnknown, IDispatch and the event
// interface, records every event it receives (with the BSTR it was handed),
// checks that the call has the form a connection point gives it, and can
// refuse the event interface, fail its calls or run an action from inside an
// event. Events may arrive on several threads; the record is guarded.
#pragma once

#include <OBZeveVevuVAD.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "com/Platform.h"

class EventSink final : public IDispatch {
public:
    struct Event {
        DISPID id;
        LONG type;
        LONG code;
        WString text;
        BSTR bstr = nullptr;  // the BSTR received, to tell copies from the caller's own
    };

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, DIID__IZeveVevuVADEvents) && eventsQuery != S_OK) return eventsQuery;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__IZeveVevuVADEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }  // owned by the test
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override {
        EXPECT_TRUE(IsEqualIID(riid, IID_NULL));
        EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
        EXPECT_EQ(flags, DISPATCH_METHOD);
        EXPECT_EQ(params->cNamedArgs, 0u);
        EXPECT_NE(result, nullptr);
        EXPECT_EQ(excep, nullptr);
        EXPECT_EQ(argErr, nullptr);
        Event e{id, 0, 0, {}};
        if (params->cArgs >= 1 && params->rgvarg[0].vt == VT_BSTR) {
            e.bstr = params->rgvarg[0].bstrVal;
            e.text = WString(e.bstr, SysStringLen(e.bstr));
        }
        if (id == DISPID_EV_OnCommandMsg && params->cArgs == 3) {
            e.code = params->rgvarg[1].lVal;
            e.type = params->rgvarg[2].lVal;
        }
        {
            std::lock_guard<std::mutex> guard(mutex_);
            events.push_back(e);
        }
        if (onEvent) onEvent();
        return invokeResult;
    }

    std::vector<WString> Logs() const {
        std::vector<WString> lines;
        for (const Event& e : events)
            if (e.id == DISPID_EV_OnWriteLog) lines.push_back(e.text);
        return lines;
    }

    std::atomic<ULONG> refs{1};
    HRESULT eventsQuery = S_OK;   // what QueryInterface answers for the event interface
    HRESULT invokeResult = S_OK;  // what every event answers
    std::function<void()> onEvent;
    std::vector<Event> events;

private:
    std::mutex mutex_;
};
