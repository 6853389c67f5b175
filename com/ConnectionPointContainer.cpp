#include "com/ConnectionPointContainer.h"

#include <new>

#include "com/SnapshotEnumerator.h"

namespace {

using PointEnumerator = SnapshotEnumerator<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints>;

}  // namespace

STDMETHODIMP ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    std::shared_ptr<PointEnumerator::Snapshot> snapshot;
    try {
        snapshot = std::make_shared<PointEnumerator::Snapshot>();
        snapshot->items.push_back(&point_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    point_.AddRef();
    return PointEnumerator::Create(std::move(snapshot), ppEnum);
}

STDMETHODIMP ConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept {
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    IID eventIid{};
    point_.GetConnectionInterface(&eventIid);
    if (!IsEqualIID(riid, eventIid)) {
        return CONNECT_E_NOCONNECTION;
    }
    point_.AddRef();
    *ppCP = &point_;
    return S_OK;
}
