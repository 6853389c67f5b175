// An interface that only this module's RecordSet answers: the query fills
// the set through it without making a BSTR of every row. Asked for with
// QueryInterface like any interface; an object that does not answer it is
// filled through IRecordSet::SetRecordItem, with the same result.
//
// The IID belongs to this layout: a change of the method changes the IID.
#pragma once

#include "OBZeveVevuVAD.h"

COMRT_INLINE_GUID IID IID_IResultRows = {0xd7feefe1, 0x2def, 0x4647, {0xb4, 0xd8, 0x6e, 0x92, 0x12, 0xee, 0xae, 0xea}};

class IResultRows : public IUnknown {
public:
    // Appends the row text of count zero-terminated values: the values in
    // order, joined by "|#|"; a null value is empty. Exactly what
    // SetRecordItem stores for that text. S_OK, or E_OUTOFMEMORY (nothing
    // stored).
    virtual HRESULT STDMETHODCALLTYPE AppendRow(const OLECHAR* const* values, UINT count) noexcept = 0;
};
