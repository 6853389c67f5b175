// One result row readable by column name: a RecordItem. Loaded by
// SetDataValue with a column-name text (names joined by ",") and a row text
// (values joined by "|#|"); the pieces are paired by position, and only when
// both counts agree. A repeated name keeps its last value. Names compare
// exactly (case-sensitive). A null BSTR argument reads as empty text.
//
// COM: IRecordItem and IDispatch on one pointer, and this module's own
// IRowLoader (see IRowLoader.h); created through
// Creator<CRecordItem> (plain or aggregated). Every method returns S_OK
// (E_OUTOFMEMORY when memory runs out); no exception leaves.
// Thread-safety: the field lock makes a lookup and a whole reload atomic
// with respect to each other; it is never held while calling out. It is
// taken once per value read and held only for a copy: a BiasedLock, which
// the thread that reads the item takes without an atomic exchange.
#pragma once

#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "OBZeveVevuVAD.h"
#include "com/DispatchImpl.h"
#include "com/InterfaceEntry.h"
#include "com/ObjectRoot.h"
#include "results/IRowLoader.h"
#include "results/BiasedLock.h"

class CRecordItem : public ObjectRoot, public DispatchImpl<IRecordItem>, public IRowLoader {
public:
    CRecordItem() noexcept;

    static std::span<const InterfaceEntry<CRecordItem>> InterfaceTable() noexcept;

    // The item behind object when it is this module's plain item, else null
    // (a client's own item, a proxy, an item inside an aggregate). It is
    // recognised by the vtable pointer that every interface pointer begins
    // with, as the RecordSet does once per row read: a QueryInterface would
    // take and drop a reference, two atomic operations a row. No reference
    // is taken; the caller's keeps the item alive during its call.
    static CRecordItem* FromDispatch(IDispatch* object) noexcept;

    // pVal receives a new BSTR with the field's value (the caller frees it),
    // or null when the item holds no such field. A null pVal receives nothing.
    STDMETHODIMP GetDataValue(BSTR Field, BSTR* pVal) noexcept override;
    // Replaces every field with the pairs of Name and Value.
    STDMETHODIMP SetDataValue(BSTR Name, BSTR Value) noexcept override;
    // SetDataValue for a row handed over by this module's RecordSet.
    STDMETHODIMP LoadRow(const OLECHAR* names, UINT namesLength, const void* row, UINT length,
                         BOOL narrow) noexcept override;

private:
    using View = std::basic_string_view<OLECHAR>;
    struct Piece {
        std::size_t offset;
        std::size_t length;
    };

    // Replaces every field: the names text and a row of length units, one
    // byte a unit when narrow.
    HRESULT Load(View names, const void* row, std::size_t length, bool narrow) noexcept;
    // Names at every ","; a "," at the very end adds no empty name, and an
    // empty text gives none.
    void SplitNames();
    // Values at every "|#|"; a "|#|" at the very end adds an empty value, and
    // an empty text gives one empty value. Narrow rows are searched in their
    // bytes, before they are widened.
    void SplitValues(const OLECHAR* row, std::size_t length);
    void SplitValues(const unsigned char* row, std::size_t length);
    void ClearFields() noexcept;

    BiasedLock fieldLock_;
    // Rows of one result share their names: the name index is rebuilt only
    // when the column-name text changes, and a reload copies the row text
    // once into storage whose capacity is reused.
    // Up to this many names are looked up by comparing them in turn; more
    // go through the hash index.
    static constexpr std::size_t kScanLimit = 8;

    WString namesText_;
    std::vector<Piece> names_;                         // pieces of namesText_
    std::unordered_map<View, std::size_t> nameIndex_;  // keys view namesText_; filled above kScanLimit
    WString rowText_;
    std::vector<Piece> values_;  // pieces of rowText_
    bool paired_ = false;
};
