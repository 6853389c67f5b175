// An interface that only this module's RecordItem answers: the RecordSet
// loads a row into it straight from its packed store, without a BSTR copy of
// the row. The RecordSet calls this module's plain item through it directly
// (see CRecordItem::FromDispatch) and asks any other item for it with
// QueryInterface; an item that does not answer it is loaded through
// IRecordItem::SetDataValue, with the same result.
//
// The IID belongs to this layout: a change of the method changes the IID.
#pragma once

#include "OBZeveVevuVAD.h"

COMRT_INLINE_GUID IID IID_IRowLoader = {0xdedef5a5, 0x24f6, 0x4557, {0xaf, 0x12, 0x34, 0x89, 0xd8, 0x2a, 0x9a, 0xda}};

class IRowLoader : public IUnknown {
public:
    // Does what SetDataValue does with the column-name text names and the
    // row text of length units at row: one byte a unit when narrow, else
    // OLECHAR units. S_OK, or E_OUTOFMEMORY (the item is then empty).
    virtual HRESULT STDMETHODCALLTYPE LoadRow(const OLECHAR* names, UINT namesLength, const void* row, UINT length,
                                              BOOL narrow) noexcept = 0;
};
