#include "results/CRecordSet.h"

#include <new>

#include "com/ComPtr.h"
#include "com/ScopedLock.h"
#include "results/CRecordItem.h"
#include "results/ComponentTypeInfo.h"
#include "results/IRowLoader.h"
#include "results/RecordSetMembers.h"

namespace {

constexpr TypeInfoSource kTypeInfo = ComponentTypeInfo(IID_IRecordSet);
constexpr DispatchTable kDispatch{kRecordSetMembers, &kTypeInfo};

}  // namespace

CRecordSet::CRecordSet() noexcept : DispatchImpl<IRecordSet>(kDispatch) {}

std::span<const InterfaceEntry<CRecordSet>> CRecordSet::InterfaceTable() noexcept {
    static const InterfaceEntry<CRecordSet> table[] = {
        InterfaceEntry<CRecordSet>::Of<IRecordSet>(IID_IRecordSet),
        InterfaceEntry<CRecordSet>::Of<IRecordSet>(IID_IDispatch),
        InterfaceEntry<CRecordSet>::Of<IResultRows>(IID_IResultRows),
    };
    return table;
}

HRESULT CRecordSet::FinalConstruct() noexcept {
    try {
        auto names = std::make_shared<ComBstr>();
        const HRESULT hr = names->Assign(OLESTR(""), 0);
        if (SUCCEEDED(hr)) columnNames_ = std::move(names);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CRecordSet::GetRecordCount(LONG* lRet) noexcept {
    lock_.Lock();
    const std::size_t count = rows_.Size();
    lock_.Unlock();
    if (lRet != nullptr) *lRet = static_cast<LONG>(count);
    return S_OK;
}

STDMETHODIMP CRecordSet::GetRecordItem(LONG Index, IDispatch* RecordItem, VARIANT_BOOL* Succeeded) noexcept {
    if (Succeeded != nullptr) *Succeeded = VARIANT_FALSE;
    if (Index < 0 || RecordItem == nullptr) {
        return S_OK;
    }
    const auto index = static_cast<std::size_t>(Index);
    // This module's item is loaded straight from the store, under the lock;
    // a plain one is recognised without a call, any other one answers
    // IRowLoader.
    ComPtr<IRowLoader> loader;
    IRowLoader* direct = CRecordItem::FromDispatch(RecordItem);
    if (direct == nullptr && SUCCEEDED(RecordItem->QueryInterface(IID_IRowLoader, loader.ReceiveVoid())))
        direct = loader.Get();
    if (direct != nullptr) {
        {
            ScopedLock<SpinLock> guard(lock_);
            if (index >= rows_.Size()) return S_OK;
            const RowStore::Row& row = rows_.At(index);
            // The item's own result does not matter: the row was handed over.
            direct->LoadRow(columnNames_->Get(), columnNames_->Length(), row.data, row.length, row.narrow);
        }
        if (Succeeded != nullptr) *Succeeded = VARIANT_TRUE;
        return S_OK;
    }
    ComPtr<IRecordItem> item;
    if (FAILED(RecordItem->QueryInterface(IID_IRecordItem, item.ReceiveVoid())) || !item) {
        return S_OK;
    }
    // Any other item gets copies, and is called after the lock.
    BSTR row = nullptr;
    Names names;
    {
        ScopedLock<SpinLock> guard(lock_);
        if (index >= rows_.Size()) return S_OK;
        row = rows_.Copy(index);
        if (row == nullptr) return E_OUTOFMEMORY;
        names = columnNames_;
    }
    item->SetDataValue(names->Get(), row);
    SysFreeString(row);
    if (Succeeded != nullptr) *Succeeded = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CRecordSet::SetRecordItem(BSTR Record) noexcept {
    try {
        ScopedLock<SpinLock> guard(lock_);
        rows_.Append(Record, SysStringLen(Record));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CRecordSet::AppendRow(const OLECHAR* const* values, UINT count) noexcept {
    static constexpr OLECHAR kSeparator[] = OLESTR("|#|");
    try {
        ScopedLock<SpinLock> guard(lock_);
        rows_.AppendJoined(values, count, kSeparator);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CRecordSet::SetColumnName(BSTR Name) noexcept {
    Names names;
    HRESULT hr = S_OK;
    try {
        auto fresh = std::make_shared<ComBstr>();
        hr = fresh->Assign(Name != nullptr ? Name : OLESTR(""), SysStringLen(Name));
        if (SUCCEEDED(hr)) names = std::move(fresh);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    // The rows go even when the new names cannot be made. The old rows and
    // names are released after the lock: freeing the store of a large result
    // takes long enough to stall readers.
    RowStore old;
    {
        ScopedLock<SpinLock> guard(lock_);
        rows_.Swap(old);
        if (names) columnNames_.swap(names);
    }
    return hr;
}
