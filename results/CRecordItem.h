// One result row readable by column name: a RecordItem. Loaded by
// SetDataValue with a column-name text (names joined by ",") and a row text
// (values joined by "|#|"); the pieces are paired by position, and only when
// both counts agree. A repeated name keeps its last value. Names compare
// exactly (case-sensitive). A null BSTR argument reads as empty text.
//
// COM: IRecordItem and IDispatch on one pointer; created through
// Creator<CRecordItem> (plain or aggregated). Every method returns S_OK
// (E_OUTOFMEMORY when memory runs out); no exception leaves.
// Thread-safety: the field lock makes a lookup and a whole reload atomic
// with respect to each other; it is never held while calling out. It is a
// spin lock: it is taken once per value read, and is held only for a copy.
#pragma once

#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "OBZeveVevuVAD.h"
#include "com/DispatchImpl.h"
#include "com/InterfaceEntry.h"
#include "com/ObjectRoot.h"
#include "results/PieceList.h"
#include "results/SpinLock.h"

class CRecordItem : public ObjectRoot, public DispatchImpl<IRecordItem> {
public:
    CRecordItem() noexcept;

    static std::span<const InterfaceEntry<CRecordItem>> InterfaceTable() noexcept;

    // pVal receives a new BSTR with the field's value (the caller frees it),
    // or null when the item holds no such field. A null pVal receives nothing.
    STDMETHODIMP GetDataValue(BSTR Field, BSTR* pVal) noexcept override;
    // Replaces every field with the pairs of Name and Value.
    STDMETHODIMP SetDataValue(BSTR Name, BSTR Value) noexcept override;

    // Names at every ","; a "," at the very end adds no empty name, and an
    // empty text gives none.
    static void SplitNames(std::basic_string_view<OLECHAR> text, PieceList& pieces);
    // Values at every "|#|"; a "|#|" at the very end adds an empty value, and
    // an empty text gives one empty value.
    static void SplitValues(std::basic_string_view<OLECHAR> text, PieceList& pieces);

private:
    using View = std::basic_string_view<OLECHAR>;

    void ClearFields() noexcept;

    SpinLock fieldLock_;
    // Rows of one result share their names: the name index is rebuilt only
    // when the column-name text changes, and a reload copies the row text
    // once into storage whose capacity is reused.
    // Up to this many names are looked up by comparing them in turn; more
    // go through the hash index.
    static constexpr std::size_t kScanLimit = 8;

    WString namesText_;
    std::vector<PieceList::Piece> names_;              // pieces of namesText_
    std::unordered_map<View, std::size_t> nameIndex_;  // keys view namesText_; filled above kScanLimit
    std::size_t nameCount_ = 0;
    WString rowText_;
    std::vector<PieceList::Piece> values_;  // pieces of rowText_
    bool paired_ = false;
};
