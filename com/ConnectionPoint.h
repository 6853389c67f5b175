// The connection point of one outgoing dispinterface, living inside its
// container object and sharing its reference count: AddRef and Release go to
// the container's controlling unknown, QueryInterface answers
// IConnectionPoint and IUnknown only (with the point itself).
//
// Sink list: no slots until the first Advise, then 4, doubling whenever all
// are taken (never shrinking); the lowest empty slot is taken first and the
// cookie is the slot index plus 1. Each sink is kept with one reference and
// registered, as IUnknown, in the process's Global Interface Table (created
// with the point; when it cannot be created sinks are kept and called
// directly). The owner's object lock guards the list and is held only while
// the list is read or changed, never while a sink is called, so a sink may
// Advise or Unadvise from inside an event.
// Thread-safety: every method may be called from any thread.
#pragma once

#include <vector>

#include "com/ObjectRoot.h"
#include "com/Platform.h"

class ConnectionPoint final : public IConnectionPoint {
public:
    // `owner` supplies the lock and the reference count; `container` is what
    // GetConnectionPointContainer hands out. Both outlive the point.
    ConnectionPoint(ObjectRoot& owner, IConnectionPointContainer& container, const IID& eventIid) noexcept;
    // Revokes every registration and releases every sink; sends nothing.
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    STDMETHODIMP GetConnectionInterface(IID* pIID) noexcept override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept override;
    // E_POINTER for a null sink or cookie; CONNECT_E_CANNOTCONNECT for a sink
    // without the event interface (other query failures unchanged);
    // CONNECT_E_ADVISELIMIT when no slot can be had.
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept override;
    // CONNECT_E_NOCONNECTION for a cookie that names no sink.
    STDMETHODIMP Unadvise(DWORD dwCookie) noexcept override;
    // An enumerator over a snapshot of the current connections.
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) noexcept override;

    // Calls IDispatch::Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
    // DISPATCH_METHOD) on every sink, lowest slot first, each with its own
    // copy of the arguments (reverse order, as Invoke takes them). Returns the
    // HRESULT of the last sink called, S_OK when none was. Sinks that fail,
    // or cannot be fetched, stay subscribed. At most 8 arguments
    // (E_INVALIDARG otherwise).
    HRESULT Fire(DISPID id, const VARIANT* argsReversed, UINT count) noexcept;

    // Number of slots (not sinks); for diagnostics and tests.
    LONG SlotCount() const noexcept;

private:
    struct Slot {
        IUnknown* sink;      // the event interface, one reference held
        DWORD tableCookie;   // its Global Interface Table registration
    };

    // Fetches the sink of a slot with a reference added, or null.
    IUnknown* FetchSink(size_t index) noexcept;
    HRESULT CallSink(IDispatch* dispatch, DISPID id, const VARIANT* argsReversed, UINT count) noexcept;

    ObjectRoot& owner_;
    IConnectionPointContainer& container_;
    const IID eventIid_;
    IGlobalInterfaceTable* table_ = nullptr;
    std::vector<Slot> slots_;
    mutable LONG volatile slotCount_ = 0;  // mirrors slots_.size(); read without the lock
};
