// obzkit::EventSubscription: subscribes a sink to a database object's
// events for its own lifetime: finds the connection point of
// DIID__IZeveVevuVADEvents through IConnectionPointContainer, calls Advise,
// and Unadvise at scope end. The connection point holds its own reference
// to the sink while subscribed.
// Thread-safety: one thread creates and destroys it.
#pragma once

#include <OBZeveVevuVAD.h>

#include "obzkit/Ref.h"

namespace obzkit {

class EventSubscription {
public:
    EventSubscription(IUnknown* source, IDispatch* sink) noexcept {
        if (source == nullptr || sink == nullptr) {
            result_ = E_POINTER;
            return;
        }
        Ref<IConnectionPointContainer> container;
        result_ = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
        if (SUCCEEDED(result_)) result_ = container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point_.Put());
        if (SUCCEEDED(result_)) result_ = point_->Advise(sink, &cookie_);
    }
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;
    ~EventSubscription() {
        if (SUCCEEDED(result_) && point_) point_->Unadvise(cookie_);
    }

    // S_OK once subscribed; otherwise the HRESULT of the step that failed
    // (E_POINTER for a null source or sink).
    HRESULT Result() const noexcept { return result_; }

private:
    Ref<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    HRESULT result_ = E_FAIL;
};

}  // namespace obzkit
