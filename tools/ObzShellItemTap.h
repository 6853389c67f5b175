// A RecordItem that passes every row it is loaded with on to a real
// RecordItem and keeps the column-name text that came with the row. A
// RecordSet hands an item the column names with each row, but an item has
// no method that gives them back; the shell's select reads every value from
// the real item with GetDataValue and heads its table with these names.
// Reference counted: created with one reference, deleted by its last
// Release. Thread-safety: used on the shell's thread only.
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>

#include "obzkit/Ref.h"

class ObzShellItemTap final : public IRecordItem {
public:
    explicit ObzShellItemTap(obzkit::Ref<IRecordItem> item) noexcept : item_(std::move(item)) {}
    ObzShellItemTap(const ObzShellItemTap&) = delete;
    ObzShellItemTap& operator=(const ObzShellItemTap&) = delete;

    // The column-name text of the last row loaded, in UTF-8; empty before.
    const std::string& Names() const noexcept { return names_; }

    // IUnknown: IUnknown, IDispatch and IRecordItem.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch: a RecordSet calls its items through IRecordItem only, so
    // there is no late binding (no type information, E_NOTIMPL).
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    // IRecordItem: the real item's answers; SetDataValue keeps Name first.
    // E_OUTOFMEMORY when the names cannot be kept (the item is not loaded).
    STDMETHODIMP GetDataValue(BSTR Field, BSTR* pVal) override { return item_->GetDataValue(Field, pVal); }
    STDMETHODIMP SetDataValue(BSTR Name, BSTR Value) override;

private:
    ~ObzShellItemTap() = default;

    obzkit::Ref<IRecordItem> item_;
    std::string names_;
    LONG references_ = 1;
};
