#include "results/CRecordItem.h"

#include <new>

#include "com/ScopedLock.h"

namespace {

constexpr DispatchMember kMembers[] = {
    DispatchMember::Bind<&IRecordItem::GetDataValue>(OLESTR("GetDataValue"), DISPID_RI_GetDataValue,
                                                     OLESTR("Field"), OLESTR("pVal")),
    DispatchMember::Bind<&IRecordItem::SetDataValue>(OLESTR("SetDataValue"), DISPID_RI_SetDataValue,
                                                     OLESTR("Name"), OLESTR("Value")),
};
constexpr DispatchTable kDispatch{kMembers};

std::basic_string_view<OLECHAR> TextOf(BSTR text) noexcept {
    return text != nullptr ? std::basic_string_view<OLECHAR>(text, SysStringLen(text))
                           : std::basic_string_view<OLECHAR>();
}

}  // namespace

CRecordItem::CRecordItem() noexcept : DispatchImpl<IRecordItem>(kDispatch) {}

std::span<const InterfaceEntry<CRecordItem>> CRecordItem::InterfaceTable() noexcept {
    static const InterfaceEntry<CRecordItem> table[] = {
        InterfaceEntry<CRecordItem>::Of<IRecordItem>(IID_IRecordItem),
        InterfaceEntry<CRecordItem>::Of<IRecordItem>(IID_IDispatch),
    };
    return table;
}

HRESULT CRecordItem::FinalConstruct() noexcept { return fieldLock_.Initialize(); }

void CRecordItem::SplitNames(View text, PieceList& pieces) {
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t comma = text.find(static_cast<OLECHAR>(','), position);
        const std::size_t end = comma == View::npos ? text.size() : comma;
        pieces.Add(position, end - position);
        position = end + 1;
    }
}

void CRecordItem::SplitValues(View text, PieceList& pieces) {
    static constexpr OLECHAR kSeparator[] = OLESTR("|#|");
    const View separator(kSeparator, 3);
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t found = text.find(separator, position);
        const std::size_t end = found == View::npos ? text.size() : found;
        pieces.Add(position, end - position);
        position = found == View::npos ? text.size() + 1 : found + separator.size();
    }
}

void CRecordItem::ClearFields() noexcept {
    nameIndex_.clear();
    namesText_.clear();
    nameCount_ = 0;
    rowText_.clear();
    values_.clear();
    paired_ = false;
}

STDMETHODIMP CRecordItem::GetDataValue(BSTR Field, BSTR* pVal) noexcept {
    if (pVal == nullptr) {
        return S_OK;
    }
    *pVal = nullptr;
    const View field = TextOf(Field);
    ScopedLock<CriticalSection> guard(fieldLock_);
    if (!paired_) {
        return S_OK;
    }
    const auto found = nameIndex_.find(field);
    if (found == nameIndex_.end()) {
        return S_OK;
    }
    const PieceList::Piece& value = values_[found->second];
    *pVal = SysAllocStringLen(rowText_.data() + value.offset, static_cast<UINT>(value.length));
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRecordItem::SetDataValue(BSTR Name, BSTR Value) noexcept {
    const View names = TextOf(Name);
    const View row = TextOf(Value);
    try {
        // Split outside the lock; clear and fill under one holding of it.
        PieceList namePieces;
        PieceList valuePieces;
        SplitNames(names, namePieces);
        SplitValues(row, valuePieces);

        ScopedLock<CriticalSection> guard(fieldLock_);
        try {
            paired_ = false;
            if (names != View(namesText_)) {
                nameIndex_.clear();  // its keys view the old text
                nameCount_ = 0;
                namesText_.assign(names);
                for (std::size_t i = 0; i < namePieces.Size(); ++i) {
                    const View name(namesText_.data() + namePieces[i].offset, namePieces[i].length);
                    nameIndex_.insert_or_assign(name, i);  // the last of a repeated name wins
                }
                nameCount_ = namePieces.Size();
            }
            rowText_.assign(row);
            values_.clear();
            for (std::size_t i = 0; i < valuePieces.Size(); ++i) {
                values_.push_back(valuePieces[i]);
            }
            paired_ = nameCount_ == values_.size();
        } catch (const std::bad_alloc&) {
            ClearFields();
            return E_OUTOFMEMORY;
        }
    } catch (const std::bad_alloc&) {
        // Even a reload that ran out of memory replaces the earlier row.
        ScopedLock<CriticalSection> guard(fieldLock_);
        ClearFields();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
