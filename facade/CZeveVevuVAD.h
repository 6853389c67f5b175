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
// Thread-safety: calls may arrive on any thread (a multithreaded client's, or
// the thread of a single-threaded client, the class being registered "Both").
// Every IZeveVevuVAD method and both host hooks hold the object's call lock
// (a CausalityLock) for their whole run, so overlapping calls on one object
// queue and run one at a time. While the object fires an event, a call that
// belongs to the call in progress may enter and runs inside it: one from the
// firing thread (a sink called directly), or one with the call's logical
// thread id (a sink in another apartment, reached through marshaling, whose
// callback arrives on another thread). Any other call waits until the call
// in progress has returned, so a sink must never wait, inside an event, for
// another thread of its own that calls this object. A rebuild replays
// CreateDbFile through the object's own interface (recursion on the running
// thread). The call lock is separate from the object lock, which guards only
// the sink list: Advise, Unadvise and EnumConnections never wait for a call
// in progress. IDispatch's own methods (type information, names) take no
// lock; Invoke holds the call lock through the method it runs.
#pragma once

#include <span>

#include <OBZeveVevuVAD.h>

#include "DatabaseFacade.h"
#include "LogSink.h"
#include "com/ConnectionPointContainer.h"
#include "com/CausalityLock.h"
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
    // Calls of the call in progress may enter the object meanwhile.
    HRESULT Fire_OnCommandMsg(LONG MsgType, LONG MsgCode, BSTR MsgString) noexcept;
    HRESULT Fire_OnWriteLog(BSTR MsgString) noexcept;

    // The facade's one log routine: "ZeveVevuVAD64--" + text as OnWriteLog.
    void WriteLog(const WString& text) noexcept override;

    // The state behind the operations, for the host and for tests.
    DatabaseFacade& Facade() noexcept { return facade_; }

private:
    // Serialises the calls on this object; taken before any other lock.
    CausalityLock callLock_;
    Mutex disconnectLock_;
    DatabaseFacade facade_;
};
