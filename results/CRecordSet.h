// The container in which a query result travels: a RecordSet. Holds one
// column-name text and the row texts in the order they were added, and hands
// a row to a RecordItem on request. It never parses what it holds.
//
// COM: IRecordSet and IDispatch on one pointer; created through
// Creator<CRecordSet> (plain or aggregated). Methods return S_OK, E_POINTER
// for a null out-pointer, E_OUTOFMEMORY when memory runs out; no exception
// leaves. A null BSTR argument reads as empty text.
// Thread-safety: none of its own. One RecordSet must not be filled and read
// from two threads at once.
#pragma once

#include <span>

#include "OBZeveVevuVAD.h"
#include "com/ComBstr.h"
#include "com/DispatchImpl.h"
#include "com/InterfaceEntry.h"
#include "com/ObjectRoot.h"
#include "results/RowStore.h"

class CRecordSet : public ObjectRoot, public DispatchImpl<IRecordSet> {
public:
    CRecordSet() noexcept;

    static std::span<const InterfaceEntry<CRecordSet>> InterfaceTable() noexcept;
    // Makes the empty column-name text.
    HRESULT FinalConstruct() noexcept;

    // lRet: the number of rows held.
    STDMETHODIMP GetRecordCount(LONG* lRet) noexcept override;
    // Loads row Index into the item through its IRecordItem::SetDataValue.
    // Succeeded: true when the call was made (whatever it returned); false
    // for an index out of range, a null item, or an object that does not
    // answer IRecordItem (which is then not called).
    STDMETHODIMP GetRecordItem(LONG Index, IDispatch* RecordItem, VARIANT_BOOL* Succeeded) noexcept override;
    // Appends a copy of Record as the next row.
    STDMETHODIMP SetRecordItem(BSTR Record) noexcept override;
    // Removes every row, then replaces the column-name text with a copy of Name.
    STDMETHODIMP SetColumnName(BSTR Name) noexcept override;

private:
    // The names stay a BSTR, handed to every item as it is (an [in] BSTR is
    // never changed or freed by the callee); each row is copied out of the
    // packed store for the one call that hands it over.
    ComBstr columnNames_;
    RowStore rows_;
};
