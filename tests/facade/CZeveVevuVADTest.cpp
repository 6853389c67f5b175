#include "facade/CZeveVevuVAD.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

#include "EventSink.h"
#include "FacadeFixture.h"
#include "IdlText.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "com/ModuleLock.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace {

// The component object over the engine fixture's fresh folder, runtime
// prefix (Linux) or cleared machine state (Wine).
class CZeveVevuVADTest : public FacadeFixture {
protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        locksBefore = ModuleLock::GetLockCount();
        ASSERT_EQ(Creator<CZeveVevuVAD>::CreateInstance(nullptr, IID_IZeveVevuVAD, object.ReceiveVoid()), S_OK);
        ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid()), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point.Receive()), S_OK);
    }
    void TearDown() override {
        point.Reset();
        container.Reset();
        if (object) {
            object.Reset();
            EXPECT_EQ(ModuleLock::GetLockCount(), locksBefore);
        }
        FacadeFixture::TearDown();
    }
    DWORD Subscribe(EventSink& sink) {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(&sink, &cookie), S_OK);
        return cookie;
    }
    CZeveVevuVAD& Object() { return *static_cast<CZeveVevuVAD*>(object.Get()); }
    // A sink that outlives the object: subscriptions left at the end of a
    // test are released when the object goes.
    EventSink& NewSink() { return sinks.emplace_back(); }

    const WString kVersionLine = OLESTR("ZeveVevuVAD64--ZeveVevuVAD Connected, Version = ") + Wide(OBZ_VERSION_TEXT);
    std::deque<EventSink> sinks;  // destroyed after the object
    LONG locksBefore = 0;
    ComPtr<IZeveVevuVAD> object;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
};

TEST_F(CZeveVevuVADTest, QueryInterfaceAnswersItsFourInterfaces) {
    const std::pair<const IID*, HRESULT> cases[] = {
        {&IID_IUnknown, S_OK},          {&IID_IZeveVevuVAD, S_OK}, {&IID_IDispatch, S_OK},
        {&IID_IConnectionPointContainer, S_OK}, {&IID_IRecordSet, E_NOINTERFACE}, {&IID_IConnectionPoint, E_NOINTERFACE},
    };
    for (const auto& [iid, expected] : cases) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(*iid, unknown.ReceiveVoid()), expected);
        EXPECT_EQ(unknown.Get() != nullptr, expected == S_OK);
    }
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(object.Get()));
}

TEST_F(CZeveVevuVADTest, ConnectOutcomesAndVersionLineThroughTheMethodTable) {
    EventSink& sink = NewSink();
    Subscribe(sink);
    LONG outcome = 0;
    BSTR host = SysAllocString(OLESTR("local"));
    EXPECT_EQ(object->Connect(host, nullptr, &outcome), S_OK);
    EXPECT_EQ(outcome, 1);
    EXPECT_EQ(object->Connect(host, nullptr, &outcome), S_OK);
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(object->Disconnect(), S_OK);
    EXPECT_EQ(object->Connect(host, nullptr, nullptr), S_OK);
    EXPECT_EQ(object->Connect(host, nullptr, &outcome), S_OK);
    EXPECT_EQ(outcome, 2);
    SysFreeString(host);
    EXPECT_EQ(sink.Logs(), std::vector<WString>(4, kVersionLine));
}

// Builds the VARIANT a script engine passes for each kind of argument.
struct ScriptArgs {
    VARIANT args[2];
    VARIANT byRefTarget;
};

TEST_F(CZeveVevuVADTest, ConnectLateBoundByNameWithScriptArgumentTypes) {
    EventSink& sink = NewSink();
    Subscribe(sink);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    OLECHAR name[] = OLESTR("cONNECT");
    LPOLESTR names[] = {name};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, DISPID_ZVV_Connect);

    // Connect(12 as VT_I2, byref VARIANT holding a BSTR): arguments reversed.
    VARIANT target;
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(OLESTR("SYS"));
    VARIANT args[2];
    args[1].vt = VT_I2;
    args[1].iVal = 12;
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &target;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                               &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
    VariantClear(&target);

    // A second call with plain BSTRs answers 2.
    VARIANT bstrArgs[2];
    bstrArgs[0].vt = VT_BSTR;
    bstrArgs[0].bstrVal = SysAllocString(OLESTR("S"));
    bstrArgs[1].vt = VT_BSTR;
    bstrArgs[1].bstrVal = SysAllocString(OLESTR("h"));
    DISPPARAMS bstrParams{bstrArgs, nullptr, 2, 0};
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &bstrParams, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.lVal, 2);
    VariantClear(&bstrArgs[0]);
    VariantClear(&bstrArgs[1]);
    EXPECT_EQ(sink.Logs(), std::vector<WString>(2, kVersionLine));

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    OLECHAR unknownName[] = OLESTR("BeginTransaction");
    LPOLESTR unknownNames[] = {unknownName};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, unknownNames, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(CZeveVevuVADTest, HostAddressAndRegistryChooseTheDataFolder) {
    struct Case {
        const OLECHAR* host;
        const OLECHAR* registryValue;  // null: none written
        const OLECHAR* dataFolder;
    };
    const Case cases[] = {
        {OLESTR("D:\\App\\"), nullptr, OLESTR("D:\\App\\Data\\API\\")},
        {OLESTR("D:\\App"), nullptr, OLESTR("D:\\AppData\\API\\")},
        {OLESTR("local"), OLESTR("C:\\Program Files\\Prod\\bin\\run.exe"), OLESTR("C:\\Program Files\\Prod\\bin\\Data\\API\\")},
        {OLESTR(""), OLESTR("C:\\Prod"), OLESTR("C:\\Data\\API\\")},
        {OLESTR(""), OLESTR("NoBackslash"), OLESTR("C:\\ProgramData\\Ombrel\\API\\DataBase\\")},
        {OLESTR(""), nullptr, OLESTR("C:\\ProgramData\\Ombrel\\API\\DataBase\\")},
    };
    int n = 0;
    for (const Case& c : cases) {
        WString system = OLESTR("Sys") + WString(1, OLECHAR('A' + n++));
        if (c.registryValue != nullptr) {
            HKEY key = nullptr;
            WString path = OLESTR("SOFTWARE\\VANTORIS\\") + system;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr),
                      ERROR_SUCCESS);
            WString value = c.registryValue;
            RegSetValueExW(key, OLESTR("Ombrel"), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           DWORD((value.size() + 1) * sizeof(OLECHAR)));
            RegCloseKey(key);
        }
        ComPtr<IZeveVevuVAD> component;
        ASSERT_EQ(Creator<CZeveVevuVAD>::CreateInstance(nullptr, IID_IZeveVevuVAD, component.ReceiveVoid()), S_OK);
        EventSink sink;
        ComPtr<IConnectionPointContainer> cpc;
        ComPtr<IConnectionPoint> cp;
        component->QueryInterface(IID_IConnectionPointContainer, cpc.ReceiveVoid());
        cpc->FindConnectionPoint(DIID__IZeveVevuVADEvents, cp.Receive());
        DWORD cookie = 0;
        cp->Advise(&sink, &cookie);
        BSTR host = SysAllocString(c.host);
        BSTR sys = SysAllocString(system.c_str());
        component->Connect(host, sys, nullptr);
        // Once found, the install folder stays: another host changes nothing.
        BSTR other = SysAllocString(OLESTR("E:\\Other\\"));
        component->Connect(other, sys, nullptr);
        SysFreeString(host);
        SysFreeString(sys);
        SysFreeString(other);
        auto& state = static_cast<CZeveVevuVAD*>(component.Get())->Facade();
        std::vector<WString> expected{kVersionLine};
        if (WString(c.dataFolder) != OLESTR("C:\\ProgramData\\Ombrel\\API\\DataBase\\")) {
            EXPECT_EQ(state.DataFolder(), c.dataFolder) << n;
            expected.push_back(OLESTR("ZeveVevuVAD64--") + WString(c.dataFolder));
            expected.push_back(kVersionLine);
        } else {
            // Nothing found: the second Connect looked again and took E:\Other\.
            expected.push_back(kVersionLine);
            expected.push_back(OLESTR("ZeveVevuVAD64--E:\\Other\\Data\\API\\"));
        }
        EXPECT_EQ(sink.Logs(), expected) << n;
        cp->Unadvise(cookie);
    }
}

TEST_F(CZeveVevuVADTest, HostNotificationHookFiresCommandMessages) {
    EventSink& sink = NewSink();
    Subscribe(sink);
    LONG outcome = 0;
    object->Connect(nullptr, nullptr, &outcome);
    sink.events.clear();
    struct Case {
        LONG type, code;
        std::vector<EventSink::Event> expected;
    };
    const Case cases[] = {
        {1, 1, {}},
        {1, 2,
         {{DISPID_EV_OnWriteLog, 0, 0, OLESTR("ZeveVevuVAD64--System Connected")},
          {DISPID_EV_OnCommandMsg, 2, 1, OLESTR("System Connected")}}},
        {1, 3, {{DISPID_EV_OnCommandMsg, 2, 3, OLESTR("")}}},
        {1, 5, {}},
        {1, 6, {}},
        {1, -7, {{DISPID_EV_OnCommandMsg, 2, -7, OLESTR("")}}},
        {2, 3, {}},
        {1, 4, {{DISPID_EV_OnCommandMsg, 2, 0, OLESTR("System Disconnected")}}},
    };
    for (const Case& c : cases) {
        sink.events.clear();
        BSTR text = SysAllocString(OLESTR("id"));
        VARIANT result = Object().HostNotification(c.type, c.code, text);
        SysFreeString(text);
        EXPECT_EQ(result.vt, VT_EMPTY);
        ASSERT_EQ(sink.events.size(), c.expected.size()) << c.type << "/" << c.code;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(sink.events[i].id, c.expected[i].id);
            EXPECT_EQ(sink.events[i].type, c.expected[i].type);
            EXPECT_EQ(sink.events[i].code, c.expected[i].code);
            EXPECT_EQ(sink.events[i].text, c.expected[i].text);
        }
    }
    EXPECT_EQ(Object().Facade().ConnectionState(), 0);  // code 4 disconnected
    EXPECT_EQ(Object().HostText(nullptr), TRUE);
}

TEST_F(CZeveVevuVADTest, SinksReceiveInSlotOrderAndMayUnsubscribeWhileFired) {
    EventSink first, second, failing, refuses;
    refuses.answersEvents = false;
    failing.failCalls = true;
    DWORD c1 = Subscribe(first);
    DWORD c2 = Subscribe(failing);
    DWORD c3 = Subscribe(second);
    EXPECT_EQ((std::vector<DWORD>{c1, c2, c3}), (std::vector<DWORD>{1, 2, 3}));
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(&refuses, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    std::vector<int> order;
    first.onEvent = [&] {
        order.push_back(1);
        point->Unadvise(c1);  // unsubscribes itself from inside the event
    };
    failing.onEvent = [&] { order.push_back(2); };
    second.onEvent = [&] { order.push_back(3); };
    object->Connect(nullptr, nullptr, nullptr);
    object->Connect(nullptr, nullptr, nullptr);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 2, 3}));
    EXPECT_EQ(failing.Logs().size(), 2u);  // a failing sink stays subscribed
    EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(Subscribe(first), 1u);  // the lowest free slot is reused
    EXPECT_EQ(point->Unadvise(1), S_OK);
    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(point->Unadvise(3), S_OK);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(failing.refs, 1u);
}

TEST_F(CZeveVevuVADTest, StoreAndQueryEndToEnd) {
    EventSink& sink = NewSink();
    Subscribe(sink);
    auto bstr = [](const OLECHAR* s) { return SysAllocString(s); };
    const WString file = StarFile("end.db");
    BSTR f = bstr(file.c_str()), t = bstr(OLESTR("T")), cols = bstr(OLESTR("id,name"));
    LONG ret = 0;
    EXPECT_EQ(object->CreateDbFile(f, t, cols, &ret), S_OK);
    EXPECT_EQ(ret, 1);
    BSTR v = bstr(OLESTR("1,it's"));
    EXPECT_EQ(object->InsertDBRecord(t, cols, v, &ret), S_OK);
    EXPECT_EQ(ret, 1);

    ComPtr<IRecordSet> set;
    ComPtr<IRecordItem> item;
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(object->GetDBRecordSet(t, nullptr, nullptr, set.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    LONG count = 0;
    set->GetRecordCount(&count);
    ASSERT_EQ(count, 1);
    set->GetRecordItem(0, item.Get(), &ok);
    BSTR field = bstr(OLESTR("name")), value = nullptr;
    item->GetDataValue(field, &value);
    EXPECT_EQ(WString(value), OLESTR("it's"));
    SysFreeString(value);

    // An object of another class is refused and not touched.
    EXPECT_EQ(object->GetDBRecordSet(t, nullptr, nullptr, item.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    for (BSTR b : {f, t, cols, v, field}) SysFreeString(b);
    EXPECT_TRUE(sink.Logs().empty());
}

// The header, the IDL and the dispatch tables name the same identifiers.
TEST_F(CZeveVevuVADTest, HeaderIdlAndDispatchTablesAgree) {
    const std::string idl = kIdlText;
    auto guidText = [](const GUID& g) {
        OLECHAR text[40];
        StringFromGUID2(g, text, 40);
        return std::string(text + 1, text + 37);
    };
    const std::pair<const char*, const GUID*> guids[] = {
        {"interface IZeveVevuVAD", &IID_IZeveVevuVAD}, {"interface IRecordSet", &IID_IRecordSet},
        {"interface IRecordItem", &IID_IRecordItem},   {"\nlibrary OBZeveVevuVADLib", &LIBID_OBZeveVevuVADLib},
        {"dispinterface _IZeveVevuVADEvents\n", &DIID__IZeveVevuVADEvents},
        {"coclass ZeveVevuVAD\n", &CLSID_ZeveVevuVAD}, {"coclass RecordSet\n", &CLSID_RecordSet},
        {"coclass RecordItem\n", &CLSID_RecordItem},
    };
    for (const auto& [declaration, guid] : guids) {
        size_t at = idl.find(declaration);
        ASSERT_NE(at, std::string::npos) << declaration;
        size_t uuid = idl.rfind("uuid(", at);
        EXPECT_EQ(idl.substr(uuid + 5, 36), guidText(*guid)) << declaration;
    }

    ComPtr<IRecordSet> set;
    ComPtr<IRecordItem> item;
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
    const std::pair<const char*, IDispatch*> interfaces[] = {
        {"interface IZeveVevuVAD", object.Get()}, {"interface IRecordSet", set.Get()}, {"interface IRecordItem", item.Get()}};
    int methods = 0;
    for (const auto& [declaration, dispatch] : interfaces) {
        size_t begin = idl.find(declaration);
        const size_t end = idl.find("};", begin);
        int expectedId = 1;
        // Each method line: [id(N), ...] HRESULT Name([in] T a, [out, retval] T* b);
        for (size_t at = idl.find("[id(", begin); at < end; at = idl.find("[id(", at + 1), ++expectedId) {
            const int id = std::stoi(idl.substr(at + 4));
            EXPECT_EQ(id, expectedId);  // DISPID equals the position
            const size_t nameBegin = idl.find("HRESULT ", at) + 8;
            const size_t open = idl.find('(', nameBegin);
            const size_t close = idl.find(");", open);
            std::vector<std::string> words{idl.substr(nameBegin, open - nameBegin)};
            std::string list = idl.substr(open + 1, close - open - 1);
            for (size_t b = list.find('['); b != std::string::npos; b = list.find('['))
                list.erase(b, list.find(']', b) - b + 1);
            std::stringstream params(list);
            for (std::string param; std::getline(params, param, ',');)
                words.push_back(param.substr(param.find_last_of(" *") + 1));
            std::vector<WString> wide;
            for (const std::string& w : words) wide.push_back(Wide(w));
            std::vector<LPOLESTR> names;
            for (WString& w : wide) names.push_back(w.data());
            std::vector<DISPID> ids(names.size());
            EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()), 0, ids.data()), S_OK)
                << words[0];
            EXPECT_EQ(ids[0], id) << words[0];
            ++methods;
        }
    }
    EXPECT_EQ(methods, 17);
    EXPECT_EQ(DISPID_ZVV_DropTable, 11);
    EXPECT_EQ(DISPID_RS_SetColumnName, 4);
    EXPECT_EQ(DISPID_RI_SetDataValue, 2);
    EXPECT_NE(idl.find("[id(1), helpstring(\"method OnCommandMsg\")] HRESULT OnCommandMsg([in] long MsgType, [in] long MsgCode, [in] BSTR MsgString);"), std::string::npos);
    EXPECT_NE(idl.find("[id(2), helpstring(\"method OnWriteLog\")] HRESULT OnWriteLog([in] BSTR MsgString);"), std::string::npos);
}
}  // namespace
