#include "com/ConnectionPoint.h"

#include <new>

#include "com/ComPtr.h"
#include "com/ObjectLockGuard.h"
#include "com/SnapshotEnumerator.h"

namespace {

constexpr size_t kFirstSlots = 4;
constexpr size_t kMaxSlots = 0x40000000;  // the count stays a positive 32-bit value
constexpr UINT kMaxFireArgs = 8;

using ConnectionEnumerator = SnapshotEnumerator<IEnumConnections, CONNECTDATA, &IID_IEnumConnections>;

}  // namespace

ConnectionPoint::ConnectionPoint(ObjectRoot& owner, IConnectionPointContainer& container,
                                 const IID& eventIid) noexcept
    : owner_(owner), container_(container), eventIid_(eventIid) {
    if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table_)))) {
        table_ = nullptr;
    }
}

ConnectionPoint::~ConnectionPoint() {
    for (Slot& slot : slots_) {
        if (slot.sink == nullptr) {
            continue;
        }
        if (table_ != nullptr) {
            table_->RevokeInterfaceFromGlobal(slot.tableCookie);
        }
        slot.sink->Release();
        slot.sink = nullptr;
    }
    if (table_ != nullptr) {
        table_->Release();
    }
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IConnectionPoint) && !IsEqualIID(riid, IID_IUnknown)) {
        return E_NOINTERFACE;
    }
    AddRef();
    *ppv = static_cast<IConnectionPoint*>(this);
    return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() noexcept {
    IUnknown* outer = owner_.GetControllingUnknown();
    return outer != nullptr ? outer->AddRef() : 1;
}

STDMETHODIMP_(ULONG) ConnectionPoint::Release() noexcept {
    IUnknown* outer = owner_.GetControllingUnknown();
    return outer != nullptr ? outer->Release() : 1;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* pIID) noexcept {
    if (pIID == nullptr) {
        return E_POINTER;
    }
    *pIID = eventIid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept {
    if (ppCPC == nullptr) {
        return E_POINTER;
    }
    container_.AddRef();
    *ppCPC = &container_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept {
    if (pdwCookie != nullptr) {
        *pdwCookie = 0;
    }
    if (pUnkSink == nullptr || pdwCookie == nullptr) {
        return E_POINTER;
    }
    IUnknown* sink = nullptr;
    HRESULT hr = pUnkSink->QueryInterface(eventIid_, reinterpret_cast<void**>(&sink));
    if (FAILED(hr) || sink == nullptr) {
        return hr == E_NOINTERFACE ? CONNECT_E_CANNOTCONNECT : (FAILED(hr) ? hr : E_UNEXPECTED);
    }
    DWORD cookie = 0;
    {
        ObjectLockGuard guard(owner_);
        size_t index = 0;
        while (index < slots_.size() && slots_[index].sink != nullptr) {
            ++index;
        }
        bool haveSlot = true;
        if (index == slots_.size()) {
            const size_t grown = slots_.empty() ? kFirstSlots : slots_.size() * 2;
            try {
                if (grown > kMaxSlots) {
                    throw std::bad_alloc();
                }
                slots_.resize(grown, Slot{nullptr, 0});
                InterlockedExchange(&slotCount_, static_cast<LONG>(grown));
            } catch (const std::bad_alloc&) {
                haveSlot = false;
            }
        }
        DWORD tableCookie = 0;
        if (haveSlot && table_ != nullptr) {
            haveSlot = SUCCEEDED(table_->RegisterInterfaceInGlobal(sink, IID_IUnknown, &tableCookie));
        }
        if (haveSlot) {
            slots_[index] = Slot{sink, tableCookie};
            cookie = static_cast<DWORD>(index + 1);
        }
    }
    if (cookie == 0) {
        sink->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    *pdwCookie = cookie;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD dwCookie) noexcept {
    IUnknown* sink = nullptr;
    {
        ObjectLockGuard guard(owner_);
        if (dwCookie == 0 || dwCookie > slots_.size()) {
            return CONNECT_E_NOCONNECTION;
        }
        Slot& slot = slots_[dwCookie - 1];
        if (slot.sink == nullptr) {
            return CONNECT_E_NOCONNECTION;
        }
        sink = slot.sink;
        if (table_ != nullptr) {
            table_->RevokeInterfaceFromGlobal(slot.tableCookie);
        }
        slot = Slot{nullptr, 0};
    }
    // Released outside the lock: the sink's destructor may call back.
    sink->Release();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) noexcept {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    std::shared_ptr<ConnectionEnumerator::Snapshot> snapshot;
    try {
        snapshot = std::make_shared<ConnectionEnumerator::Snapshot>();
        ObjectLockGuard guard(owner_);
        snapshot->items.reserve(slots_.size());
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].sink != nullptr) {
                CONNECTDATA data{slots_[i].sink, static_cast<DWORD>(i + 1)};
                snapshot->items.push_back(data);  // cannot throw after reserve
                EnumItemTraits<CONNECTDATA>::AddRef(data);
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return ConnectionEnumerator::Create(std::move(snapshot), ppEnum);
}

LONG ConnectionPoint::SlotCount() const noexcept {
    return InterlockedCompareExchange(&slotCount_, 0, 0);
}

IUnknown* ConnectionPoint::FetchSink(size_t index) noexcept {
    ObjectLockGuard guard(owner_);
    if (index >= slots_.size() || slots_[index].sink == nullptr) {
        return nullptr;
    }
    IUnknown* sink = nullptr;
    if (table_ != nullptr) {
        if (FAILED(table_->GetInterfaceFromGlobal(slots_[index].tableCookie, IID_IUnknown,
                                                  reinterpret_cast<void**>(&sink)))) {
            return nullptr;
        }
    } else {
        sink = slots_[index].sink;
        sink->AddRef();
    }
    return sink;
}

HRESULT ConnectionPoint::CallSink(IDispatch* dispatch, DISPID id, const VARIANT* argsReversed,
                                  UINT count) noexcept {
    VARIANT args[kMaxFireArgs] = {};
    HRESULT hr = S_OK;
    UINT copied = 0;
    for (; copied < count; ++copied) {
        VariantInit(&args[copied]);
        // mingw-w64 declares the source parameter without const; it is only read.
        hr = VariantCopy(&args[copied], const_cast<VARIANT*>(&argsReversed[copied]));
        if (FAILED(hr)) {
            break;
        }
    }
    if (SUCCEEDED(hr)) {
        DISPPARAMS params{count > 0 ? args : nullptr, nullptr, count, 0};
        VARIANT result{};
        VariantInit(&result);
        hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                              nullptr);
        VariantClear(&result);
    }
    for (UINT i = 0; i < copied; ++i) {
        VariantClear(&args[i]);
    }
    return hr;
}

HRESULT ConnectionPoint::Fire(DISPID id, const VARIANT* argsReversed, UINT count) noexcept {
    if (count > kMaxFireArgs || (count > 0 && argsReversed == nullptr)) {
        return E_INVALIDARG;
    }
    const LONG slots = SlotCount();
    HRESULT result = S_OK;
    for (LONG i = 0; i < slots; ++i) {
        IUnknown* sink = FetchSink(static_cast<size_t>(i));
        if (sink == nullptr) {
            continue;
        }
        // A sink without IDispatch is skipped for this event and stays subscribed.
        ComPtr<IDispatch> dispatch;
        if (SUCCEEDED(sink->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid())) && dispatch) {
            result = CallSink(dispatch.Get(), id, argsReversed, count);
        }
        sink->Release();
    }
    return result;
}
