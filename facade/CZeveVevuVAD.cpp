#include "CZeveVevuVAD.h"

#include <new>

#include "FailureText.h"
#include "ModuleVersion.h"
#include "ParamList.h"
#include "com/ComBstr.h"
#include "com/ComPtr.h"
#include "com/MutexGuard.h"
#include "com/WideFormat.h"
#include "facade/ZeveVevuVADMembers.h"
#include "results/ComponentTypeInfo.h"

namespace {
constexpr TypeInfoSource kTypeInfo = ComponentTypeInfo(IID_IZeveVevuVAD);
constexpr DispatchTable kDispatch{kZeveVevuVADMembers, &kTypeInfo};

// Runs one automation method body; no exception leaves it.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

WString Text(BSTR text) { return ParamList::FromBstr(text); }

// Holds the object's call lock for one method or hook.
using CallGuard = CausalityLock::Call;

void Store(LONG* out, LONG value) {
    if (out != nullptr) *out = value;
}
}  // namespace

CZeveVevuVAD::CZeveVevuVAD()
    : ConnectionPointContainer(*this, DIID__IZeveVevuVADEvents), DispatchImpl<IZeveVevuVAD>(kDispatch),
      facade_(*this) {
    // A rebuild replays CreateDbFile through the object's own interface.
    facade_.SetCreateCall([this](const WString& file, const WString& table, const WString& columns) -> LONG {
        ComBstr fileText, tableText, columnText;
        if (FAILED(fileText.Assign(file)) || FAILED(tableText.Assign(table)) || FAILED(columnText.Assign(columns)))
            throw std::bad_alloc();
        LONG value = 0;
        static_cast<IZeveVevuVAD*>(this)->CreateDbFile(fileText.Get(), tableText.Get(), columnText.Get(), &value);
        return value;
    });
}

CZeveVevuVAD::~CZeveVevuVAD() = default;

std::span<const InterfaceEntry<CZeveVevuVAD>> CZeveVevuVAD::InterfaceTable() noexcept {
    static const InterfaceEntry<CZeveVevuVAD> table[] = {
        InterfaceEntry<CZeveVevuVAD>::Of<IZeveVevuVAD>(IID_IZeveVevuVAD),
        InterfaceEntry<CZeveVevuVAD>::Of<IZeveVevuVAD>(IID_IDispatch),
        InterfaceEntry<CZeveVevuVAD>::Of<IConnectionPointContainer>(IID_IConnectionPointContainer),
    };
    return table;
}

HRESULT CZeveVevuVAD::Fire_OnCommandMsg(LONG MsgType, LONG MsgCode, BSTR MsgString) noexcept {
    VARIANT args[3];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = MsgString;
    args[1].vt = VT_I4;
    args[1].lVal = MsgCode;
    args[2].vt = VT_I4;
    args[2].lVal = MsgType;
    const CausalityLock::CallOut out(callLock_);
    return EventConnectionPoint().Fire(DISPID_EV_OnCommandMsg, args, 3);
}

HRESULT CZeveVevuVAD::Fire_OnWriteLog(BSTR MsgString) noexcept {
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = MsgString;
    const CausalityLock::CallOut out(callLock_);
    return EventConnectionPoint().Fire(DISPID_EV_OnWriteLog, &arg, 1);
}

void CZeveVevuVAD::WriteLog(const WString& text) noexcept {
    try {
        ComBstr line;
        if (SUCCEEDED(line.Assign(WideFormat::Format(OLESTR("ZeveVevuVAD64--%s"), {text}))))
            Fire_OnWriteLog(line.Get());
    } catch (...) {
        // Out of memory: the line is dropped, the operation goes on.
    }
}

VARIANT CZeveVevuVAD::HostNotification(LONG type, LONG code, BSTR text) noexcept {
    CallGuard call(callLock_);
    VARIANT result;
    VariantInit(&result);
    if (type != 1) return result;
    try {
        switch (code) {
        case 1: {
            // The text is formed and deliberately not used.
            WString init = WideFormat::Format(OLESTR("System Init, ID=%s"), {Text(text)});
            (void)init;
            break;
        }
        case 2: {
            WriteLog(OLESTR("System Connected"));
            ComBstr message;
            if (SUCCEEDED(message.Assign(OLESTR("System Connected"), 16))) Fire_OnCommandMsg(2, 1, message.Get());
            break;
        }
        case 4: {
            ComBstr message;
            if (SUCCEEDED(message.Assign(OLESTR("System Disconnected"), 19)))
                Fire_OnCommandMsg(2, 0, message.Get());
            static_cast<IZeveVevuVAD*>(this)->Disconnect();
            break;
        }
        case 5:
        case 6:
            break;
        default: {
            ComBstr empty;
            if (SUCCEEDED(empty.Assign(OLESTR(""), 0))) Fire_OnCommandMsg(2, code, empty.Get());
            break;
        }
        }
    } catch (...) {
    }
    return result;
}

BOOL CZeveVevuVAD::HostText(BSTR) noexcept {
    CallGuard call(callLock_);
    return TRUE;
}

STDMETHODIMP CZeveVevuVAD::Connect(BSTR HostAddress, BSTR SystemName, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        facade_.Connect(Text(HostAddress), Text(SystemName), ModuleVersion::Text(), plRet);
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::Disconnect() noexcept {
    CallGuard call(callLock_);
    MutexGuard guard(disconnectLock_);
    if (facade_.ConnectionState() != 0) facade_.Disconnect();
    return S_OK;
}

STDMETHODIMP CZeveVevuVAD::ImportDbFile(BSTR FilePath, BSTR TableName, BSTR ColumnName, BSTR RowSplit,
                                        BSTR ColumnSplit, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        Store(plRet, facade_.ImportDbFile(Text(FilePath), Text(TableName), Text(ColumnName), Text(RowSplit),
                                          Text(ColumnSplit)));
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::InsertDBRecord(BSTR TableName, BSTR Column, BSTR Value, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        // The arguments are read in place: they live for the whole call.
        Store(plRet, facade_.InsertDBRecord(ParamList::ViewOf(TableName), ParamList::ViewOf(Column),
                                            ParamList::ViewOf(Value)));
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::UpdateDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal, BSTR NewCol,
                                          BSTR NewVal, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        Store(plRet, facade_.UpdateDBRecord(Text(TableName), Text(ConditionCol), Text(ConditionVal), Text(NewCol),
                                            Text(NewVal)));
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::DeleteDBRecord(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal,
                                          LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        Store(plRet, facade_.DeleteDBRecord(Text(TableName), Text(ConditionCol), Text(ConditionVal)));
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::GetDBRecordSet(BSTR TableName, BSTR ConditionCol, BSTR ConditionVal,
                                          IDispatch* pRecordSet, VARIANT_BOOL* Succeeded) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        if (Succeeded != nullptr) *Succeeded = VARIANT_FALSE;
        WString table = Text(TableName), conditionCol = Text(ConditionCol), conditionVal = Text(ConditionVal);
        if (pRecordSet == nullptr) {
            WriteLog(FailureText::Line(FailureText::Id::QueryNoRecordSet, {}));
            return S_OK;
        }
        // An object of another class is refused untouched.
        ComPtr<IRecordSet> recordSet;
        if (FAILED(pRecordSet->QueryInterface(IID_IRecordSet, recordSet.ReceiveVoid())) || !recordSet) {
            WriteLog(FailureText::Line(FailureText::Id::QueryNotRecordSet, {}));
            return S_OK;
        }
        bool ok = facade_.GetDBRecordSet(table, conditionCol, conditionVal, recordSet.Get());
        if (Succeeded != nullptr) *Succeeded = ok ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::CreateDbFile(BSTR FileName, BSTR TableName, BSTR ColumnName, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] {
        Store(plRet, facade_.CreateDbFile(Text(FileName), Text(TableName), Text(ColumnName)));
        return S_OK;
    });
}

STDMETHODIMP CZeveVevuVAD::BeginTransation() noexcept {
    CallGuard call(callLock_);
    return Guarded([&] { return facade_.BeginTransation(); });
}

STDMETHODIMP CZeveVevuVAD::CommitTransation() noexcept {
    CallGuard call(callLock_);
    return Guarded([&] { return facade_.CommitTransation(); });
}

STDMETHODIMP CZeveVevuVAD::DropTable(BSTR FileName, BSTR TableName, LONG* plRet) noexcept {
    CallGuard call(callLock_);
    return Guarded([&] { return facade_.DropTable(Text(FileName), Text(TableName), plRet); });
}
