#include "results/CRecordItem.h"

#include <cstring>
#include <new>

#include "com/ComObject.h"
#include "com/ScopedLock.h"
#include "results/ComponentTypeInfo.h"
#include "results/RecordItemMembers.h"

namespace {

constexpr TypeInfoSource kTypeInfo = ComponentTypeInfo(IID_IRecordItem);
constexpr DispatchTable kDispatch{kRecordItemMembers, &kTypeInfo};

// The first word of a COM interface pointer: its vtable pointer.
const void* VtableOf(const void* object) noexcept {
    const void* vtable = nullptr;
    std::memcpy(&vtable, object, sizeof vtable);
    return vtable;
}

std::basic_string_view<OLECHAR> TextOf(BSTR text) noexcept {
    return text != nullptr ? std::basic_string_view<OLECHAR>(text, SysStringLen(text))
                           : std::basic_string_view<OLECHAR>();
}

}  // namespace

CRecordItem::CRecordItem() noexcept : DispatchImpl<IRecordItem>(kDispatch) {}

std::span<const InterfaceEntry<CRecordItem>> CRecordItem::InterfaceTable() noexcept {
    static const InterfaceEntry<CRecordItem> table[] = {
        InterfaceEntry<CRecordItem>::Of<IRecordItem>(IID_IRecordItem),
        // Asked for once per row by this module's RecordSet when the item is
        // inside an aggregate: found early.
        InterfaceEntry<CRecordItem>::Of<IRowLoader>(IID_IRowLoader),
        InterfaceEntry<CRecordItem>::Of<IRecordItem>(IID_IDispatch),
    };
    return table;
}

CRecordItem* CRecordItem::FromDispatch(IDispatch* object) noexcept {
    // The vtable of a plain item's IRecordItem, which is also the IDispatch
    // it hands out: read once off an item that is made for it and never
    // handed out.
    static const void* const plainVtable = [] {
        ComObject<CRecordItem> probe;
        return VtableOf(static_cast<IRecordItem*>(&probe));
    }();
    if (object == nullptr || VtableOf(object) != plainVtable) return nullptr;
    return static_cast<CRecordItem*>(static_cast<IRecordItem*>(object));
}

void CRecordItem::SplitNames() {
    const View text(namesText_);
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t comma = text.find(static_cast<OLECHAR>(','), position);
        const std::size_t end = comma == View::npos ? text.size() : comma;
        names_.push_back(Piece{position, end - position});
        position = end + 1;
    }
}

void CRecordItem::SplitValues(const OLECHAR* row, std::size_t length) {
    // A plain scan for "|" followed by "#|": the general substring search
    // costs more than the split itself on rows of short values.
    std::size_t start = 0;
    for (std::size_t i = 0; i + 2 < length; ++i) {
        if (row[i] == OLESTR('|') && row[i + 1] == OLESTR('#') && row[i + 2] == OLESTR('|')) {
            values_.push_back(Piece{start, i - start});
            start = i + 3;
            i += 2;
        }
    }
    values_.push_back(Piece{start, length - start});
}

void CRecordItem::SplitValues(const unsigned char* row, std::size_t length) {
    // memchr finds each "|" with vector instructions.
    std::size_t start = 0;
    std::size_t i = 0;
    while (i + 2 < length) {
        const void* bar = std::memchr(row + i, '|', length - 2 - i);
        if (bar == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const unsigned char*>(bar) - row);
        if (row[i + 1] == '#' && row[i + 2] == '|') {
            values_.push_back(Piece{start, i - start});
            start = i + 3;
            i += 3;
        } else {
            ++i;
        }
    }
    values_.push_back(Piece{start, length - start});
}

void CRecordItem::ClearFields() noexcept {
    nameIndex_.clear();
    names_.clear();
    namesText_.clear();
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
    ScopedLock<BiasedLock> guard(fieldLock_);
    if (!paired_) {
        return S_OK;
    }
    const std::size_t count = names_.size();
    std::size_t index = count;
    if (count <= kScanLimit) {
        // A few names are found faster by comparing than by hashing; from
        // the back, so that a repeated name gives its last value.
        for (std::size_t i = count; i-- > 0;) {
            if (View(namesText_.data() + names_[i].offset, names_[i].length) == field) {
                index = i;
                break;
            }
        }
    } else {
        const auto found = nameIndex_.find(field);
        if (found != nameIndex_.end()) index = found->second;
    }
    if (index == count) {
        return S_OK;
    }
    const Piece& value = values_[index];
    *pVal = SysAllocStringLen(rowText_.data() + value.offset, static_cast<UINT>(value.length));
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CRecordItem::Load(View names, const void* row, std::size_t length, bool narrow) noexcept {
    // Clearing and filling happen under one holding of the lock, so a reader
    // never sees half a row. The names of a row usually are those of the row
    // before, so they are split only when they change.
    ScopedLock<BiasedLock> guard(fieldLock_);
    try {
        paired_ = false;
        if (names != View(namesText_)) {
            nameIndex_.clear();  // its keys view the old text
            names_.clear();
            namesText_.assign(names);
            SplitNames();
            if (names_.size() > kScanLimit) {
                for (std::size_t i = 0; i < names_.size(); ++i) {
                    const View name(namesText_.data() + names_[i].offset, names_[i].length);
                    nameIndex_.insert_or_assign(name, i);  // the last of a repeated name wins
                }
            }
        }
        values_.clear();
        if (narrow) {
            const auto* bytes = static_cast<const unsigned char*>(row);
            SplitValues(bytes, length);
            rowText_.resize(length);
            OLECHAR* units = rowText_.data();
            for (std::size_t i = 0; i < length; ++i) units[i] = bytes[i];
        } else {
            if (length > 0) {
                rowText_.assign(static_cast<const OLECHAR*>(row), length);
            } else {
                rowText_.clear();
            }
            SplitValues(rowText_.data(), length);
        }
        paired_ = names_.size() == values_.size();
    } catch (const std::bad_alloc&) {
        // Even a reload that ran out of memory replaces the earlier row.
        ClearFields();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CRecordItem::SetDataValue(BSTR Name, BSTR Value) noexcept {
    const View row = TextOf(Value);
    return Load(TextOf(Name), row.data(), row.size(), false);
}

STDMETHODIMP CRecordItem::LoadRow(const OLECHAR* names, UINT namesLength, const void* row, UINT length,
                                  BOOL narrow) noexcept {
    return Load(names != nullptr ? View(names, namesLength) : View(), row, length, narrow != FALSE);
}
