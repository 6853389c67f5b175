// A client's event sink for tests: answers IUnknown, IDispatch and the event
// interface, records every event it receives, and can fail its calls or run
// an action from inside an event.
#pragma once

#include <OBZeveVevuVAD.h>

#include <functional>
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
    };

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            (answersEvents && IsEqualIID(riid, DIID__IZeveVevuVADEvents))) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        Event e{id, 0, 0, {}};
        if (id == DISPID_EV_OnWriteLog && params->cArgs == 1 && params->rgvarg[0].vt == VT_BSTR) {
            e.text = params->rgvarg[0].bstrVal;
        } else if (id == DISPID_EV_OnCommandMsg && params->cArgs == 3) {
            e.text = params->rgvarg[0].bstrVal;
            e.code = params->rgvarg[1].lVal;
            e.type = params->rgvarg[2].lVal;
        }
        events.push_back(e);
        if (onEvent) onEvent();
        return failCalls ? E_FAIL : S_OK;
    }

    std::vector<WString> Logs() const {
        std::vector<WString> lines;
        for (const Event& e : events)
            if (e.id == DISPID_EV_OnWriteLog) lines.push_back(e.text);
        return lines;
    }

    ULONG refs = 1;
    bool answersEvents = true;
    bool failCalls = false;
    std::function<void()> onEvent;
    std::vector<Event> events;
};
