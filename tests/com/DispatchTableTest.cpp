// IDispatch served from a member table: name lookup, argument coercion,
// retval delivery and automation's error codes.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "com/ComBstr.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "com/DispatchImpl.h"
#include "com/ObjectRoot.h"
#include "comrt/VariantValues.h"

namespace {

constexpr IID IID_ICalc = {0x6B1A7E10, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xB1}};

struct ICalc : IDispatch {
    STDMETHOD(Add)(LONG a, LONG b, LONG* sum) = 0;
    STDMETHOD(Join)(BSTR a, BSTR b, BSTR* joined) = 0;
    STDMETHOD(IsSet)(LONG value, VARIANT_BOOL* set) = 0;
    STDMETHOD(Probe)(IDispatch* object, LONG* isNull) = 0;
    STDMETHOD(Check)(LONG code, LONG* out) = 0;
    STDMETHOD(Reset)() = 0;
};

constexpr DispatchMember kMembers[] = {
    DispatchMember::Bind<&ICalc::Add>(OLESTR("Add"), 1, OLESTR("a"), OLESTR("b"), OLESTR("sum")),
    DispatchMember::Bind<&ICalc::Join>(OLESTR("Join"), 2, OLESTR("a"), OLESTR("b"), OLESTR("joined")),
    DispatchMember::Bind<&ICalc::IsSet>(OLESTR("IsSet"), 3, OLESTR("value"), OLESTR("set")),
    DispatchMember::Bind<&ICalc::Probe>(OLESTR("Probe"), 4, OLESTR("object"), OLESTR("isNull")),
    DispatchMember::Bind<&ICalc::Check>(OLESTR("Check"), 5, OLESTR("code"), OLESTR("out")),
    DispatchMember::Bind<&ICalc::Reset>(OLESTR("Reset"), 6),
};
constexpr DispatchTable kDispatch{kMembers};

class CCalc : public ObjectRoot, public DispatchImpl<ICalc> {
public:
    CCalc() : DispatchImpl<ICalc>(kDispatch) {}
    static std::span<const InterfaceEntry<CCalc>> InterfaceTable() noexcept {
        static const InterfaceEntry<CCalc> table[] = {
            InterfaceEntry<CCalc>::Of<ICalc>(IID_ICalc),
            InterfaceEntry<CCalc>::Of<ICalc>(IID_IDispatch),
        };
        return table;
    }
    STDMETHODIMP Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    STDMETHODIMP Join(BSTR a, BSTR b, BSTR* joined) override {
        WString text = WString(a ? a : OLESTR(""), SysStringLen(a)) + WString(b ? b : OLESTR(""), SysStringLen(b));
        *joined = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return S_OK;
    }
    STDMETHODIMP IsSet(LONG value, VARIANT_BOOL* set) override {
        *set = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP Probe(IDispatch* object, LONG* isNull) override {
        *isNull = object == nullptr ? 1 : 0;
        lastObject = object;
        return S_OK;
    }
    STDMETHODIMP Check(LONG code, LONG* out) override {
        if (code == 1) {
            *out = 7;
            return S_FALSE;
        }
        return code == 2 ? E_ACCESSDENIED : S_OK;
    }
    STDMETHODIMP Reset() override {
        ++resets;
        return S_OK;
    }

    IDispatch* lastObject = nullptr;
    int resets = 0;
};

std::string Narrow(BSTR text) {
    std::string out;
    for (UINT i = 0; i < SysStringLen(text); ++i) {
        out += static_cast<char>(text[i]);
    }
    return out;
}

using namespace variants;

class DispatchTableTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Creator<CCalc>::CreateInstance(nullptr, IID_IDispatch, calc_.ReceiveVoid()), S_OK);
    }
    // Invokes with the arguments in declaration order (reversed here, as
    // Invoke takes them).
    HRESULT Call(DISPID id, std::initializer_list<VARIANT> args, VARIANT* result, UINT* argErr = nullptr,
                 WORD flags = DISPATCH_METHOD) {
        std::vector<VARIANT> reversed(args.begin(), args.end());
        std::reverse(reversed.begin(), reversed.end());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return calc_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, argErr);
    }
    CCalc& Object() { return *static_cast<CCalc*>(static_cast<ICalc*>(calc_.Get())); }

    ComPtr<IDispatch> calc_;
};

TEST_F(DispatchTableTest, GetIDsOfNames) {
    struct Case { std::vector<const OLECHAR*> names; HRESULT expected; std::vector<DISPID> ids; } const cases[] = {
        {{OLESTR("Add")}, S_OK, {1}},
        {{OLESTR("aDD")}, S_OK, {1}},
        {{OLESTR("Ad")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{OLESTR("Nope"), OLESTR("a")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
        {{OLESTR("join"), OLESTR("B"), OLESTR("a"), OLESTR("Joined")}, S_OK, {2, 1, 0, 2}},
        {{OLESTR("Join"), OLESTR("c"), OLESTR("a")}, DISP_E_UNKNOWNNAME, {2, DISPID_UNKNOWN, 0}},
    };
    for (const Case& c : cases) {
        std::vector<LPOLESTR> names;
        for (const OLECHAR* n : c.names) {
            names.push_back(const_cast<LPOLESTR>(n));
        }
        std::vector<DISPID> ids(names.size(), 99);
        EXPECT_EQ(calc_->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data()),
                  c.expected);
        EXPECT_EQ(ids, c.ids);
    }
    LPOLESTR name = const_cast<LPOLESTR>(OLESTR("Add"));
    DISPID id = 0;
    EXPECT_EQ(calc_->GetIDsOfNames(IID_ICalc, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(calc_->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_POINTER);
    EXPECT_EQ(calc_->GetIDsOfNames(IID_NULL, &name, 1, 0, nullptr), E_POINTER);
}

TEST_F(DispatchTableTest, InvokeCoercesArgumentsAndReturnsTheRetval) {
    ComBstr three;
    ASSERT_EQ(three.Assign(OLESTR("3"), 1), S_OK);
    VARIANT textThree{};
    textThree.vt = VT_BSTR;
    textThree.bstrVal = three.Get();
    VARIANT referenced = I4(40);
    LONG plain = 2;
    VARIANT byRefLong{};
    byRefLong.vt = VT_BYREF | VT_I4;
    byRefLong.plVal = &plain;
    VARIANT referencedText{};
    referencedText.vt = VT_BSTR;
    referencedText.bstrVal = three.Get();

    struct Case { const char* what; VARIANT a; VARIANT b; LONG sum; } const cases[] = {
        {"I4 + I4", I4(2), I4(5), 7},
        {"I2 + I2", I2(-4), I2(10), 6},
        {"BSTR + BOOL", textThree, Bool(true), 2},
        {"byref variant + byref long", Ref(&referenced), byRefLong, 42},
        {"byref variant holding BSTR + EMPTY", Ref(&referencedText), Empty(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VARIANT result{};
        ASSERT_EQ(Call(1, {c.a, c.b}, &result), S_OK);
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, c.sum);
    }

    // Script engines call methods with DISPATCH_METHOD | DISPATCH_PROPERTYGET.
    VARIANT result{};
    ASSERT_EQ(Call(3, {I2(1)}, &result, nullptr, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(Call(3, {I4(0)}, &result, nullptr, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);

    // Texts in and out; without a result VARIANT the retval is freed (the
    // leak check sees it).
    ASSERT_EQ(Call(2, {textThree, I4(12)}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Narrow(result.bstrVal), "312");
    VariantClear(&result);
    ASSERT_EQ(Call(2, {Empty(), Ref(&referencedText)}, &result), S_OK);
    EXPECT_EQ(Narrow(result.bstrVal), "3");
    VariantClear(&result);
    EXPECT_EQ(Call(2, {textThree, textThree}, nullptr), S_OK);
}

TEST_F(DispatchTableTest, InvokeWithObjectArgumentKeepsItsReferenceCount) {
    ComPtr<IDispatch> other;
    ASSERT_EQ(Creator<CCalc>::CreateInstance(nullptr, IID_IDispatch, other.ReceiveVoid()), S_OK);
    VARIANT result{};
    ASSERT_EQ(Call(4, {Dispatch(other.Get())}, &result), S_OK);
    EXPECT_EQ(result.lVal, 0);
    EXPECT_EQ(Object().lastObject, other.Get());
    ASSERT_EQ(Call(4, {Empty()}, &result), S_OK);
    EXPECT_EQ(result.lVal, 1);
    IDispatch* held = other.Get();
    VARIANT byRef{};
    byRef.vt = VT_BYREF | VT_DISPATCH;
    byRef.ppdispVal = &held;
    ASSERT_EQ(Call(4, {byRef}, &result), S_OK);
    EXPECT_EQ(result.lVal, 0);
    EXPECT_EQ(other->AddRef(), 2u);
    EXPECT_EQ(other->Release(), 1u);
}

TEST_F(DispatchTableTest, InvokeFailures) {
    ComBstr word;
    ASSERT_EQ(word.Assign(OLESTR("abc"), 3), S_OK);
    VARIANT text{};
    text.vt = VT_BSTR;
    text.bstrVal = word.Get();
    VARIANT nullRef{};
    nullRef.vt = VT_BYREF | VT_VARIANT;

    struct Case {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;
        WORD flags;
        HRESULT expected;
        UINT argErr;
    } const cases[] = {
        {"unknown DISPID", 42, {}, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND, 99},
        {"property put", 6, {}, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND, 99},
        {"too few", 1, {I4(1)}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, 99},
        {"too many", 1, {I4(1), I4(2), I4(3)}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, 99},
        {"first argument mismatch", 1, {text, I4(2)}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 1},
        {"second argument mismatch", 1, {I4(1), text}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
        {"null reference", 1, {I4(1), nullRef}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
        {"method failure passes through", 5, {I4(2)}, DISPATCH_METHOD, E_ACCESSDENIED, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<VARIANT> reversed(c.args.rbegin(), c.args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        VARIANT result = I4(5);
        UINT argErr = 99;
        EXPECT_EQ(calc_->Invoke(c.id, IID_NULL, 0, c.flags, &params, &result, nullptr, &argErr), c.expected);
        EXPECT_EQ(argErr, c.argErr);
        EXPECT_EQ(result.vt, VT_EMPTY);
    }

    VARIANT arg = I4(1);
    DISPID named = 0;
    DISPPARAMS withName{&arg, &named, 1, 1};
    EXPECT_EQ(calc_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(calc_->Invoke(6, IID_ICalc, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(Object().resets, 0);

    // Success codes other than S_OK pass through with the retval.
    VARIANT result{};
    EXPECT_EQ(Call(5, {I4(1)}, &result), S_FALSE);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 7);
    EXPECT_EQ(Call(6, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(Object().resets, 1);
}

// This runtime has no type-library services: with or without a source, an
// object offers no type information, and says so without touching more than
// the out-parameter.
TEST_F(DispatchTableTest, TypeInformationIsNotOfferedOnThisRuntime) {
    static constexpr GUID kLib = {0x6B1A7E11, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xB1}};
    static constexpr TypeInfoSource kSource{kLib, 1, 0, 0x409, IID_ICalc};
    const DispatchTable tables[] = {DispatchTable(kMembers), DispatchTable(kMembers, &kSource)};
    for (const DispatchTable& table : tables) {
        UINT count = 99;
        EXPECT_EQ(table.GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(table.GetTypeInfoCount(nullptr), E_POINTER);
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
        EXPECT_EQ(table.GetTypeInfo(0, 0, &info), E_NOTIMPL);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(table.GetTypeInfo(0, 0, nullptr), E_POINTER);
    }
}
}  // namespace
