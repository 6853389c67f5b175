#include "ObzShellItemTap.h"

#include <new>

#include "obzkit/Utf8.h"

STDMETHODIMP ObzShellItemTap::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IRecordItem)) {
        *ppv = static_cast<IRecordItem*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ObzShellItemTap::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) ObzShellItemTap::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ObzShellItemTap::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP ObzShellItemTap::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ObzShellItemTap::SetDataValue(BSTR Name, BSTR Value) {
    try {
        names_ = obzkit::ToUtf8(Name);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return item_->SetDataValue(Name, Value);
}
