// The client kit's event sink base: what it answers, how it reads the event
// arguments (last first in rgvarg), and its lifetime.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "obzkit/EventSink.h"

namespace {

int destroyed = 0;

class RecordingSink final : public obzkit::EventSink {
public:
    std::vector<std::string> events;

private:
    ~RecordingSink() override { ++destroyed; }
    void OnWriteLog(const std::string& text) override { events.push_back("log " + text); }
    void OnCommandMsg(LONG type, LONG code, const std::string& text) override {
        events.push_back("cmd " + std::to_string(type) + " " + std::to_string(code) + " " + text);
    }
};

VARIANT Long(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT Text(const OLECHAR* v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BSTR;
    x.bstrVal = SysAllocString(v);
    return x;
}

TEST(EventSinkTest, InvokeReadsTheArgumentsInParameterOrder) {
    struct Case {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;  // as rgvarg holds them: last parameter first
        HRESULT expected;
        std::vector<std::string> events;
    };
    std::vector<Case> cases;
    cases.push_back({"log", DISPID_EV_OnWriteLog, {Text(OLESTR("caf\u00e9\r\nline"))}, S_OK, {"log caf\xc3\xa9\r\nline"}});
    cases.push_back({"command", DISPID_EV_OnCommandMsg, {Text(OLESTR("System")), Long(1), Long(2)}, S_OK,
                     {"cmd 2 1 System"}});
    cases.push_back({"numbers as texts convert", DISPID_EV_OnCommandMsg,
                     {Text(OLESTR("x")), Text(OLESTR("-7")), Text(OLESTR("3"))}, S_OK, {"cmd 3 -7 x"}});
    cases.push_back({"missing argument", DISPID_EV_OnCommandMsg, {Long(1), Long(2)}, DISP_E_BADPARAMCOUNT, {}});
    cases.push_back({"no argument", DISPID_EV_OnWriteLog, {}, DISP_E_BADPARAMCOUNT, {}});
    cases.push_back({"wrong type", DISPID_EV_OnCommandMsg, {Text(OLESTR("x")), Long(1), Text(OLESTR("two"))},
                     DISP_E_TYPEMISMATCH, {}});
    cases.push_back({"other member", 3, {Text(OLESTR("x"))}, DISP_E_MEMBERNOTFOUND, {}});
    for (Case& c : cases) {
        auto* sink = new RecordingSink;
        DISPPARAMS params{c.args.empty() ? nullptr : c.args.data(), nullptr, static_cast<UINT>(c.args.size()), 0};
        EXPECT_EQ(sink->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), c.expected)
            << c.what;
        EXPECT_EQ(sink->events, c.events) << c.what;
        EXPECT_EQ(sink->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
        sink->Release();
        for (VARIANT& v : c.args) VariantClear(&v);
    }
}

TEST(EventSinkTest, AnswersTheEventInterfaceAndLivesWhileReferenced) {
    destroyed = 0;
    auto* sink = new RecordingSink;
    const std::pair<const IID*, HRESULT> cases[] = {
        {&IID_IUnknown, S_OK}, {&IID_IDispatch, S_OK}, {&DIID__IZeveVevuVADEvents, S_OK}, {&IID_IZeveVevuVAD, E_NOINTERFACE}};
    for (const auto& [iid, expected] : cases) {
        void* out = sink;
        EXPECT_EQ(sink->QueryInterface(*iid, &out), expected);
        if (expected == S_OK) {
            EXPECT_EQ(out, static_cast<IDispatch*>(sink));
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(sink->AddRef(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(EventSinkTest, IndentedDropsReturnsAndIndentsLaterLines) {
    EXPECT_EQ(obzkit::EventSink::Indented("one", "  "), "one");
    EXPECT_EQ(obzkit::EventSink::Indented("msg\r\nSELECT 1;", "    "), "msg\n    SELECT 1;");
    EXPECT_EQ(obzkit::EventSink::Indented("a\nb\n", "-"), "a\n-b\n-");
}

}  // namespace
