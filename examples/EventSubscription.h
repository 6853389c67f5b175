// Subscribes a sink to a database object's events for its own lifetime:
// finds the connection point of DIID__IZeveVevuVADEvents through
// IConnectionPointContainer, calls Advise, and calls Unadvise at scope end.
#pragma once

#include <OBZeveVevuVAD.h>

#include "tools/ClientRef.h"

class EventSubscription {
public:
    EventSubscription(IUnknown* source, IDispatch* sink) noexcept;
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;
    ~EventSubscription();

    // S_OK once subscribed; otherwise the failure of the step that failed.
    HRESULT Result() const noexcept { return result_; }

private:
    ClientRef<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    HRESULT result_ = E_FAIL;
};
