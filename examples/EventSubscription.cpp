#include "EventSubscription.h"

EventSubscription::EventSubscription(IUnknown* source, IDispatch* sink) noexcept {
    ComRef<IConnectionPointContainer> container;
    result_ = source->QueryInterface(IID_IConnectionPointContainer, container.Put());
    if (SUCCEEDED(result_))
        result_ = container->FindConnectionPoint(DIID__IZeveVevuVADEvents,
                                                 reinterpret_cast<IConnectionPoint**>(point_.Put()));
    if (SUCCEEDED(result_)) result_ = point_->Advise(sink, &cookie_);
}

EventSubscription::~EventSubscription() {
    if (SUCCEEDED(result_) && point_) point_->Unadvise(cookie_);
}
