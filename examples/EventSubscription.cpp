#include "EventSubscription.h"

EventSubscription::EventSubscription(IUnknown* source, IDispatch* sink) noexcept {
    ClientRef<IConnectionPointContainer> container;
    result_ = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (SUCCEEDED(result_)) result_ = container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point_.Put());
    if (SUCCEEDED(result_)) result_ = point_->Advise(sink, &cookie_);
}

EventSubscription::~EventSubscription() {
    if (SUCCEEDED(result_) && point_) point_->Unadvise(cookie_);
}
