// The container in which a query result travels: a RecordSet. Holds one
// column-name text and the row texts in the order they were added, and hands
// a row to a RecordItem on request. It never parses what it holds.
//
// COM: IRecordSet and IDispatch on one pointer, and this module's own
// IResultRows (see IResultRows.h); created through
// Creator<CRecordSet> (plain or aggregated). Methods return S_OK, or
// E_OUTOFMEMORY when memory runs out; no exception leaves. A null out-pointer
// still gets the work done and only drops the result. A null BSTR argument
// reads as empty text.
// Thread-safety: calls from several threads at once are safe. One short lock
// guards the rows and the names. It is never held while a client's item is
// called, so such an item may call back into the set; this module's own
// item is loaded under it (the item calls nothing, but the first load on a
// thread other than the item's owner ends its lock's bias there: one system
// call in the item's life, see BiasedLock).
#pragma once

#include <memory>
#include <span>

#include "OBZeveVevuVAD.h"
#include "com/ComBstr.h"
#include "com/DispatchImpl.h"
#include "com/InterfaceEntry.h"
#include "com/ObjectRoot.h"
#include "results/IResultRows.h"
#include "results/RowStore.h"
#include "results/SpinLock.h"

class CRecordSet : public ObjectRoot, public DispatchImpl<IRecordSet>, public IResultRows {
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
    // SetRecordItem of the values joined, for this module's query.
    STDMETHODIMP AppendRow(const OLECHAR* const* values, UINT count) noexcept override;

private:
    using Names = std::shared_ptr<const ComBstr>;

    // The names are shared with the calls that are handing them to an item,
    // so that a new result arriving meanwhile does not free them under the
    // item; each row is copied out of the packed store under the lock.
    SpinLock lock_;
    Names columnNames_;
    RowStore rows_;
};
