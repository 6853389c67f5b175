#include "results/CRecordItem.h"

#include <new>

#include "com/ScopedLock.h"
#include "results/ComponentTypeInfo.h"

namespace {

constexpr DispatchMember kMembers[] = {
    DispatchMember::Bind<&IRecordItem::GetDataValue>(OLESTR("GetDataValue"), DISPID_RI_GetDataValue,
                                                     OLESTR("Field"), OLESTR("pVal")),
    DispatchMember::Bind<&IRecordItem::SetDataValue>(OLESTR("SetDataValue"), DISPID_RI_SetDataValue,
                                                     OLESTR("Name"), OLESTR("Value")),
};
constexpr TypeInfoSource kTypeInfo = ComponentTypeInfo(IID_IRecordItem);
constexpr DispatchTable kDispatch{kMembers, &kTypeInfo};

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
    // A plain scan for "|" followed by "#|": the general substring search
    // costs more than the split itself on rows of short values.
    const std::size_t size = text.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i + 2 < size; ++i) {
        if (text[i] == OLESTR('|') && text[i + 1] == OLESTR('#') && text[i + 2] == OLESTR('|')) {
            pieces.Add(start, i - start);
            start = i + 3;
            i += 2;
        }
    }
    pieces.Add(start, size - start);
}

void CRecordItem::ClearFields() noexcept {
    nameIndex_.clear();
    names_.clear();
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
    ScopedLock<SpinLock> guard(fieldLock_);
    if (!paired_) {
        return S_OK;
    }
    std::size_t index = nameCount_;
    if (nameCount_ <= kScanLimit) {
        // A few names are found faster by comparing than by hashing; from
        // the back, so that a repeated name gives its last value.
        for (std::size_t i = nameCount_; i-- > 0;) {
            if (View(namesText_.data() + names_[i].offset, names_[i].length) == field) {
                index = i;
                break;
            }
        }
    } else {
        const auto found = nameIndex_.find(field);
        if (found != nameIndex_.end()) index = found->second;
    }
    if (index == nameCount_) {
        return S_OK;
    }
    const PieceList::Piece& value = values_[index];
    *pVal = SysAllocStringLen(rowText_.data() + value.offset, static_cast<UINT>(value.length));
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRecordItem::SetDataValue(BSTR Name, BSTR Value) noexcept {
    const View names = TextOf(Name);
    const View row = TextOf(Value);
    try {
        // The values are split outside the lock; clearing and filling happen
        // under one holding of it. The names of a row usually are those of
        // the row before, so they are split only when the index is rebuilt.
        PieceList namePieces;
        PieceList valuePieces;
        SplitValues(row, valuePieces);

        ScopedLock<SpinLock> guard(fieldLock_);
        try {
            paired_ = false;
            if (names != View(namesText_)) {
                SplitNames(names, namePieces);
                nameIndex_.clear();  // its keys view the old text
                names_.clear();
                nameCount_ = 0;
                namesText_.assign(names);
                for (std::size_t i = 0; i < namePieces.Size(); ++i) {
                    names_.push_back(namePieces[i]);
                    if (namePieces.Size() <= kScanLimit) continue;
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
        ScopedLock<SpinLock> guard(fieldLock_);
        ClearFields();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
