// The ZeveVevuVAD object: the database facade that clients create by the
// ProgID "Ombrel.ZeveVevuVAD". It answers IUnknown, IZeveVevuVAD, IDispatch
// (the same table as IZeveVevuVAD) and IConnectionPointContainer, with one
// connection point for _IZeveVevuVADEvents through which every log line
// (OnWriteLog) and every host notice (OnCommandMsg) reaches the subscribed
// sinks synchronously on the calling thread.
//
// COM: created through Creator<CZeveVevuVAD>, plain or aggregated. Every
// method returns an HRESULT (S_OK; S_FALSE from BeginTransation and a failed
// DropTable; E_OUTOFMEMORY when memory runs out) and lets no exception out;
// outcomes travel in the out-parameters, which may be null (the outcome is
// then dropped). A null BSTR argument reads as the empty text.
// Thread-safety: the object does not serialise its operations; a client must
// not call one object from several threads at once. Subscribing and firing
// are safe from any thread.
#pragma once

#include <span>

#include <OBZeveVevuVAD.h>

#include "DatabaseFacade.h"
#include "LogSink.h"
#include "com/ConnectionPointContainer.h"
#include "com/DispatchImpl.h"
#include "com/InterfaceEntry.h"
#include "com/Mutex.h"
#include "com/ObjectRoot.h"

class CZeveVevuVAD : public ObjectRoot,
                     public ConnectionPointContainer,
                     public DispatchImpl<IZeveVevuVAD>,
                     private LogSink {
public:
    // Throws std::bad_alloc (the creator turns it into E_OUTOFMEMORY).
    CZeveVevuVAD();

    static std::span<const InterfaceEntry<CZeveVevuVAD>> InterfaceTable() noexcept;

    // The host's entry points, outside the automation interface: an
    // in-process host that holds the object reports its system events here.
    // Type 1 codes: 2 logs and fires "System Connected", 4 fires "System
    // Disconnected" and disconnects, 1/5/6 do nothing, any other code fires
    // OnCommandMsg(2, code, ""). Always returns an empty VARIANT.
    virtual VARIANT HostNotification(LONG type, LONG code, BSTR text) noexcept;
    // Returns TRUE and does nothing else.
    virtual BOOL HostText(BSTR text) noexcept;
    virtual ~CZeveVevuVAD();

    // IZeveVevuVAD
    STDMETHODIMP Connect(BSTR HostAddress, BSTR SystemName, LONG* plRet) noexcept override;
    STDMETHODIMP Disconnect() noexcept override;
    STDMETHODIMP ImportDbFile(BSTR FilePath, BSTR TableName, BSTR ColumnName, BSTR RowSplit, BSTR ColumnSplit,
                              LONG* plRet) noexcept override;
    STDMETHODIMP InsertDBRecord(BSTR TableName, BSTR Column, BSTR Value, LONG* plRet) noexcept override;
    STDMETHODIMP UpdateDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal, BSTR NewCol, BSTR NewVal,
                                LONG* plRet) noexcept override;
    STDMETHODIMP DeleteDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal, LONG* plRet) noexcept override;
    STDMETHODIMP GetDBRecordSet(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal, IDispatch* pRecordSet,
                                VARIANT_BOOL* Succeeded) noexcept override;
    STDMETHODIMP CreateDbFile(BSTR FileName, BSTR TableName, BSTR ColumnName, LONG* plRet) noexcept override;
    STDMETHODIMP BeginTransation() noexcept override;
    STDMETHODIMP CommitTransation() noexcept override;
    STDMETHODIMP DropTable(BSTR FileName, BSTR TableName, LONG* plRet) noexcept override;

    // Event firing: the HRESULT of the last sink called, S_OK when none.
    HRESULT Fire_OnCommandMsg(LONG MsgType, LONG MsgCode, BSTR MsgString) noexcept;
    HRESULT Fire_OnWriteLog(BSTR MsgString) noexcept;

    // The facade's one log routine: "ZeveVevuVAD64--" + text as OnWriteLog.
    void WriteLog(const WString& text) noexcept override;

    // The state behind the operations, for the host and for tests.
    DatabaseFacade& Facade() noexcept { return facade_; }

private:
    Mutex disconnectLock_;
    DatabaseFacade facade_;
};
