// OBZeveVevuVAD: the automation interfaces, class and interface identifiers of
// the type library OBZeveVevuVADLib 1.0, as the IDL compiler lays them out.
// The one header a client needs; on Linux it brings libcomrt's platform
// headers with it, on Windows the system's COM headers.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#ifndef COMRT_INLINE_GUID
#define COMRT_INLINE_GUID inline const
#endif
#else
#include <comrt/comrt.h>
#ifndef COMRT_INLINE_GUID
#define COMRT_INLINE_GUID inline constexpr
#endif
#endif

// Type library and classes.
COMRT_INLINE_GUID IID LIBID_OBZeveVevuVADLib = {
    0x39285B56, 0x06B4, 0x42B1, {0x95, 0x4F, 0x13, 0xD1, 0x49, 0x86, 0x14, 0x9A}};
COMRT_INLINE_GUID CLSID CLSID_ZeveVevuVAD = {
    0xF59CFD47, 0x99A5, 0x4BFA, {0xB9, 0x36, 0xC0, 0x3A, 0x62, 0xC5, 0x36, 0x79}};
COMRT_INLINE_GUID CLSID CLSID_RecordSet = {
    0x5195E675, 0x2327, 0x4CAC, {0x9B, 0x2F, 0x61, 0xBB, 0x6E, 0xEA, 0x33, 0xAE}};
COMRT_INLINE_GUID CLSID CLSID_RecordItem = {
    0xD8995745, 0x29D3, 0x423C, {0x8F, 0xF6, 0xBE, 0x96, 0x4C, 0x5B, 0x36, 0xC9}};

// Interfaces.
COMRT_INLINE_GUID IID IID_IZeveVevuVAD = {
    0x7917B64A, 0x4E00, 0x4F07, {0xB8, 0x04, 0x23, 0x0A, 0x95, 0xF9, 0x88, 0x26}};
COMRT_INLINE_GUID IID IID_IRecordSet = {
    0x3898D86F, 0xD9DE, 0x41F2, {0xA0, 0x22, 0x60, 0xBB, 0x20, 0x28, 0x09, 0xF6}};
COMRT_INLINE_GUID IID IID_IRecordItem = {
    0xBC0FF046, 0x0873, 0x40D1, {0xBD, 0xA9, 0x9F, 0x76, 0xD8, 0x78, 0x96, 0x91}};
COMRT_INLINE_GUID IID DIID__IZeveVevuVADEvents = {
    0xA2FC4706, 0xECE8, 0x4BFF, {0xA6, 0x57, 0x98, 0x31, 0xC9, 0x0B, 0xC1, 0x3C}};

// Dispatch identifiers: the position of each method in its interface.
enum ZeveVevuVADDispIds : DISPID {
    DISPID_ZVV_Connect = 1,
    DISPID_ZVV_Disconnect = 2,
    DISPID_ZVV_ImportDbFile = 3,
    DISPID_ZVV_InsertDBRecord = 4,
    DISPID_ZVV_UpdateDBRecord = 5,
    DISPID_ZVV_DeleteDBRecord = 6,
    DISPID_ZVV_GetDBRecordSet = 7,
    DISPID_ZVV_CreateDbFile = 8,
    DISPID_ZVV_BeginTransation = 9,
    DISPID_ZVV_CommitTransation = 10,
    DISPID_ZVV_DropTable = 11
};
enum RecordSetDispIds : DISPID {
    DISPID_RS_GetRecordCount = 1,
    DISPID_RS_GetRecordItem = 2,
    DISPID_RS_SetRecordItem = 3,
    DISPID_RS_SetColumnName = 4
};
enum RecordItemDispIds : DISPID { DISPID_RI_GetDataValue = 1, DISPID_RI_SetDataValue = 2 };
enum ZeveVevuVADEventDispIds : DISPID { DISPID_EV_OnCommandMsg = 1, DISPID_EV_OnWriteLog = 2 };

// The database facade (dual). Every method returns an HRESULT; the outcome
// travels in the [out, retval] parameter and through the events.
struct IZeveVevuVAD : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR HostAddress, BSTR SystemName, LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ImportDbFile(BSTR FilePath, BSTR TableName, BSTR ColumnName, BSTR RowSplit,
                                                   BSTR ColumnSplit, LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertDBRecord(BSTR TableName, BSTR Column, BSTR Value, LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal,
                                                     BSTR NewCol, BSTR NewVal, LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal,
                                                     LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDBRecordSet(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal,
                                                     IDispatch* pRecordSet, VARIANT_BOOL* Succeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDbFile(BSTR FileName, BSTR TableName, BSTR ColumnName, LONG* plRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginTransation() = 0;
    virtual HRESULT STDMETHODCALLTYPE CommitTransation() = 0;
    virtual HRESULT STDMETHODCALLTYPE DropTable(BSTR FileName, BSTR TableName, LONG* plRet) = 0;
};

// The result container (dual).
struct IRecordSet : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetRecordCount(LONG* lRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecordItem(LONG Index, IDispatch* RecordItem, VARIANT_BOOL* Succeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecordItem(BSTR Record) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetColumnName(BSTR Name) = 0;
};

// One result row, readable by column name (dual).
struct IRecordItem : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDataValue(BSTR Field, BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDataValue(BSTR Name, BSTR Value) = 0;
};

// Outgoing events: a dispinterface. A sink implements IDispatch and answers
// QueryInterface for DIID__IZeveVevuVADEvents; events arrive through Invoke
// with DISPID 1 OnCommandMsg(long MsgType, long MsgCode, BSTR MsgString) and
// DISPID 2 OnWriteLog(BSTR MsgString).
struct _IZeveVevuVADEvents : public IDispatch {};
