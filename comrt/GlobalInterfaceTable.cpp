#include "GlobalInterfaceTable.h"

#include <new>

GlobalInterfaceTable& GlobalInterfaceTable::Instance() {
    // Never destroyed: objects may revoke their entries from static
    // destructors, and what is still registered at exit stays referenced.
    static GlobalInterfaceTable* table = new GlobalInterfaceTable;
    return *table;
}

HRESULT GlobalInterfaceTable::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IGlobalInterfaceTable) {
        *ppv = static_cast<IGlobalInterfaceTable*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// The table lives as long as the process: counts are nominal.
ULONG GlobalInterfaceTable::AddRef() { return 2; }

ULONG GlobalInterfaceTable::Release() { return 1; }

HRESULT GlobalInterfaceTable::RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) {
    if (pdwCookie == nullptr) return E_INVALIDARG;
    *pdwCookie = 0;
    if (pUnk == nullptr) return E_INVALIDARG;
    void* p = nullptr;
    const HRESULT hr = pUnk->QueryInterface(riid, &p);
    if (FAILED(hr)) return hr;
    if (p == nullptr) return E_NOINTERFACE;
    std::shared_ptr<Entry> entry;
    try {
        // From here the entry owns the reference that QueryInterface added.
        entry = std::make_shared<Entry>(static_cast<IUnknown*>(p));
    } catch (const std::bad_alloc&) {
        static_cast<IUnknown*>(p)->Release();
        return E_OUTOFMEMORY;
    }
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        // Skip 0 and cookies still in use once the counter wraps.
        do {
            ++lastCookie_;
        } while (lastCookie_ == 0 || entries_.count(lastCookie_) != 0);
        entries_.emplace(lastCookie_, entry);
        *pdwCookie = lastCookie_;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // entry releases the object after the unlock
    }
    return S_OK;
}

HRESULT GlobalInterfaceTable::RevokeInterfaceFromGlobal(DWORD dwCookie) {
    std::shared_ptr<Entry> entry;  // dropped after the unlock
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(dwCookie);
    if (it == entries_.end()) return E_INVALIDARG;
    entry = std::move(it->second);
    entries_.erase(it);
    return S_OK;
}

HRESULT GlobalInterfaceTable::GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(dwCookie);
        if (it == entries_.end()) return E_INVALIDARG;
        // Our share keeps the object alive through a racing revoke.
        entry = it->second;
    }
    return entry->Object()->QueryInterface(riid, ppv);
}
