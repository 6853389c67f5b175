// IConnectionPointContainer for an object with one outgoing interface: a
// base the object mixes in next to ObjectRoot (listed after it) and names in
// its interface table; the object's ComObject/ComAggObject wrapper supplies
// IUnknown.
//     class CFoo : public ObjectRoot, public DispatchImpl<IFoo>, public ConnectionPointContainer {
//         CFoo() : DispatchImpl<IFoo>(kFooDispatch), ConnectionPointContainer(*this, DIID__IFooEvents) {}
//     };
// Thread-safety: as ConnectionPoint.
#pragma once

#include "com/ConnectionPoint.h"
#include "com/ObjectRoot.h"

class ConnectionPointContainer : public IConnectionPointContainer {
public:
    // An enumerator over the one connection point.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept override;
    // The point (AddRef'd) for the event interface; CONNECT_E_NOCONNECTION
    // for any other; E_POINTER for a null out-pointer.
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept override;

    ConnectionPoint& EventConnectionPoint() noexcept { return point_; }

protected:
    ConnectionPointContainer(ObjectRoot& owner, const IID& eventIid) noexcept : point_(owner, *this, eventIid) {}
    ~ConnectionPointContainer() = default;

private:
    ConnectionPoint point_;
};
