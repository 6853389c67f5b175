#include "facade/CZeveVevuVAD.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "BstrArg.h"
#include "ComponentFixture.h"
#include "IdlText.h"
#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace {

class CZeveVevuVADTest : public ComponentFixture {
protected:
    const WString kVersionLine = OLESTR("ZeveVevuVAD64--ZeveVevuVAD Connected, Version = ") + Wide(OBZ_VERSION_TEXT);
};

// Connect through the vtable and late bound by name with the argument types
// a script engine passes; the lines reach the sink with their prefix.
TEST_F(CZeveVevuVADTest, ConnectThroughTheVtableAndLateBound) {
    LONG outcome = 0;
    const BstrArg host("D:\\App\\");
    EXPECT_EQ(object->Connect(host, nullptr, &outcome), S_OK);
    EXPECT_EQ(outcome, 1);
    EXPECT_EQ(object->Connect(host, nullptr, &outcome), S_OK);
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(object->Disconnect(), S_OK);
    EXPECT_EQ(object->Connect(host, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink.Logs(), (std::vector<WString>{kVersionLine, OLESTR("ZeveVevuVAD64--D:\\App\\Data\\API\\"),
                                                 kVersionLine, kVersionLine}));

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
    EXPECT_EQ(result.lVal, 2);  // still connected
    VariantClear(&target);
}

TEST_F(CZeveVevuVADTest, HostNotificationHookFiresCommandMessages) {
    LONG outcome = 0;
    object->Connect(nullptr, nullptr, &outcome);
    sink.events.clear();
    struct Case { LONG type, code; std::vector<EventSink::Event> expected; };
    const Case cases[] = {
        {1, 1, {}}, {1, 5, {}}, {1, 6, {}}, {2, 3, {}},
        {1, 2,
         {{DISPID_EV_OnWriteLog, 0, 0, OLESTR("ZeveVevuVAD64--System Connected")},
          {DISPID_EV_OnCommandMsg, 2, 1, OLESTR("System Connected")}}},
        {1, 3, {{DISPID_EV_OnCommandMsg, 2, 3, OLESTR("")}}},
        {1, -7, {{DISPID_EV_OnCommandMsg, 2, -7, OLESTR("")}}},
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

TEST_F(CZeveVevuVADTest, StoreAndQueryEndToEnd) {
    const BstrArg file(StarFile("end.db")), table("T"), columns("id,name"), values("1,it's"), field("name");
    LONG ret = 0;
    EXPECT_EQ(object->CreateDbFile(file, table, columns, &ret), S_OK);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(object->InsertDBRecord(table, columns, values, &ret), S_OK);
    EXPECT_EQ(ret, 1);

    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(object->GetDBRecordSet(table, nullptr, nullptr, set.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    LONG count = 0;
    set->GetRecordCount(&count);
    ASSERT_EQ(count, 1);
    set->GetRecordItem(0, item.Get(), &ok);
    BSTR value = nullptr;
    item->GetDataValue(field, &value);
    EXPECT_EQ(WString(value), OLESTR("it's"));
    SysFreeString(value);

    // An object of another class is refused (with the line the failure
    // table shows) and not touched.
    EXPECT_EQ(object->GetDBRecordSet(table, nullptr, nullptr, item.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
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
    EXPECT_NE(idl.find("[id(1), helpstring(\"method OnCommandMsg\")] HRESULT OnCommandMsg([in] long MsgType, [in] long MsgCode, [in] BSTR MsgString);"), std::string::npos);
    EXPECT_NE(idl.find("[id(2), helpstring(\"method OnWriteLog\")] HRESULT OnWriteLog([in] BSTR MsgString);"), std::string::npos);
}
}  // namespace
