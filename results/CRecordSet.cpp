#include "results/CRecordSet.h"

#include <new>

#include "com/ComPtr.h"
#include "results/ComponentTypeInfo.h"

namespace {

constexpr DispatchMember kMembers[] = {
    DispatchMember::Bind<&IRecordSet::GetRecordCount>(OLESTR("GetRecordCount"), DISPID_RS_GetRecordCount,
                                                      OLESTR("lRet")),
    DispatchMember::Bind<&IRecordSet::GetRecordItem>(OLESTR("GetRecordItem"), DISPID_RS_GetRecordItem,
                                                     OLESTR("Index"), OLESTR("RecordItem"), OLESTR("Succeeded")),
    DispatchMember::Bind<&IRecordSet::SetRecordItem>(OLESTR("SetRecordItem"), DISPID_RS_SetRecordItem,
                                                     OLESTR("Record")),
    DispatchMember::Bind<&IRecordSet::SetColumnName>(OLESTR("SetColumnName"), DISPID_RS_SetColumnName,
                                                     OLESTR("Name")),
};
constexpr TypeInfoSource kTypeInfo = ComponentTypeInfo(IID_IRecordSet);
constexpr DispatchTable kDispatch{kMembers, &kTypeInfo};

}  // namespace

CRecordSet::CRecordSet() noexcept : DispatchImpl<IRecordSet>(kDispatch) {}

std::span<const InterfaceEntry<CRecordSet>> CRecordSet::InterfaceTable() noexcept {
    static const InterfaceEntry<CRecordSet> table[] = {
        InterfaceEntry<CRecordSet>::Of<IRecordSet>(IID_IRecordSet),
        InterfaceEntry<CRecordSet>::Of<IRecordSet>(IID_IDispatch),
    };
    return table;
}

HRESULT CRecordSet::FinalConstruct() noexcept { return columnNames_.Assign(OLESTR(""), 0); }

STDMETHODIMP CRecordSet::GetRecordCount(LONG* lRet) noexcept {
    if (lRet == nullptr) {
        return E_POINTER;
    }
    *lRet = static_cast<LONG>(rows_.Size());
    return S_OK;
}

STDMETHODIMP CRecordSet::GetRecordItem(LONG Index, IDispatch* RecordItem, VARIANT_BOOL* Succeeded) noexcept {
    if (Succeeded == nullptr) {
        return E_POINTER;
    }
    *Succeeded = VARIANT_FALSE;
    if (Index < 0 || static_cast<size_t>(Index) >= rows_.Size() || RecordItem == nullptr) {
        return S_OK;
    }
    ComPtr<IRecordItem> item;
    if (FAILED(RecordItem->QueryInterface(IID_IRecordItem, item.ReceiveVoid())) || !item) {
        return S_OK;
    }
    BSTR row = rows_.Copy(static_cast<size_t>(Index));
    if (row == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The item's own result does not matter: the row was handed over.
    item->SetDataValue(columnNames_.Get(), row);
    SysFreeString(row);
    *Succeeded = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CRecordSet::SetRecordItem(BSTR Record) noexcept {
    try {
        rows_.Append(Record, SysStringLen(Record));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CRecordSet::SetColumnName(BSTR Name) noexcept {
    rows_.Clear();
    return columnNames_.Assign(Name != nullptr ? Name : OLESTR(""), SysStringLen(Name));
}
