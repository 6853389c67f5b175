#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

#include "CountingObject.h"
#include "VariantValues.h"

namespace {

using comrt_test::CountingObject;
using namespace variants;

std::string Describe(const VARIANT& v) {
    std::string s = "vt=" + std::to_string(v.vt) + " ";
    switch (v.vt) {
        case VT_BSTR: {
            for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) s += static_cast<char>(v.bstrVal[i]);
            return s;
        }
        case VT_R8: return s + std::to_string(v.dblVal);
        default: return s + std::to_string(v.llVal);
    }
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    switch (a.vt) {
        case VT_EMPTY: case VT_NULL: return true;
        case VT_I2: case VT_BOOL: return a.iVal == b.iVal;
        case VT_I4: case VT_UI4: case VT_INT: return a.lVal == b.lVal;
        case VT_R8: return a.dblVal == b.dblVal;
        case VT_BSTR:
            return SysStringLen(a.bstrVal) == SysStringLen(b.bstrVal) &&
                   std::memcmp(a.bstrVal, b.bstrVal, SysStringByteLen(a.bstrVal)) == 0;
        default: return a.llVal == b.llVal;
    }
}

struct Conversion {
    const char* name;
    VARIANT source;
    USHORT flags;
    VARTYPE target;
    HRESULT expected;
    VARIANT result;  // meaningful when expected succeeds
};

TEST(VariantConverterTest, ConvertsValuesAsAutomationDoes) {
    std::vector<Conversion> table = {
        {"empty to text", Empty(), 0, VT_BSTR, S_OK, Str(u"")},
        {"empty to I4", Empty(), 0, VT_I4, S_OK, I4(0)},
        {"empty to dispatch", Empty(), 0, VT_DISPATCH, DISP_E_TYPEMISMATCH, Empty()},
        {"null stays null", Null(), 0, VT_NULL, S_OK, Null()},
        {"null to I4", Null(), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"null to text", Null(), 0, VT_BSTR, DISP_E_TYPEMISMATCH, Empty()},
        {"I4 to empty", I4(3), 0, VT_EMPTY, S_OK, Empty()},
        {"text with spaces to I4", Str(u"  42 "), 0, VT_I4, S_OK, I4(42)},
        {"plus sign", Str(u"+8"), 0, VT_I2, S_OK, I2(8)},
        {"largest I4", Str(u"2147483647"), 0, VT_I4, S_OK, I4(2147483647)},
        {"smallest I4", Str(u"-2147483648"), 0, VT_I4, S_OK, I4(INT32_MIN)},
        {"past I4", Str(u"2147483648"), 0, VT_I4, DISP_E_OVERFLOW, Empty()},
        {"past 64 bits", Str(u"99999999999999999999"), 0, VT_I4, DISP_E_OVERFLOW, Empty()},
        {"negative to UI4", Str(u"-1"), 0, VT_UI4, DISP_E_OVERFLOW, Empty()},
        {"fraction rounds half to even", Str(u"2.5"), 0, VT_I4, S_OK, I4(2)},
        {"exponent", Str(u"1e3"), 0, VT_I4, S_OK, I4(1000)},
        {"letters", Str(u"abc"), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"empty text", Str(u""), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"inner space", Str(u"4 2"), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"trailing garbage", Str(u"12x"), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"embedded zero", Str(std::u16string_view(u"1\0" "2", 3)), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"huge exponent", Str(u"1e400"), 0, VT_R8, DISP_E_OVERFLOW, Empty()},
        {"text to R8", Str(u"2.25"), 0, VT_R8, S_OK, R8(2.25)},
        {"I4 to I2 overflow", I4(40000), 0, VT_I2, DISP_E_OVERFLOW, Empty()},
        {"I4 to I2 lowest", I4(-32768), 0, VT_I2, S_OK, I2(-32768)},
        {"I4 to UI4 negative", I4(-1), 0, VT_UI4, DISP_E_OVERFLOW, Empty()},
        {"UI4 to I4 overflow", UI4(0xFFFFFFFFu), 0, VT_I4, DISP_E_OVERFLOW, Empty()},
        {"UI4 to INT", UI4(12), 0, VT_INT, S_OK, Int(12)},
        {"I4 to text", I4(-1234), 0, VT_BSTR, S_OK, Str(u"-1234")},
        {"R8 to text", R8(1.5), 0, VT_BSTR, S_OK, Str(u"1.5")},
        {"R8 half to even", R8(2.5), 0, VT_I4, S_OK, I4(2)},
        {"R8 half up to even", R8(3.5), 0, VT_I4, S_OK, I4(4)},
        {"R8 too large", R8(1e10), 0, VT_I4, DISP_E_OVERFLOW, Empty()},
        {"true to text", Bool(true), 0, VT_BSTR, S_OK, Str(u"-1")},
        {"true to alpha text", Bool(true), VARIANT_ALPHABOOL, VT_BSTR, S_OK, Str(u"True")},
        {"true to I4", Bool(true), 0, VT_I4, S_OK, I4(-1)},
        {"zero to bool", I4(0), 0, VT_BOOL, S_OK, Bool(false)},
        {"five to bool", I4(5), 0, VT_BOOL, S_OK, Bool(true)},
        {"text true", Str(u"true"), 0, VT_BOOL, S_OK, Bool(true)},
        {"text FALSE", Str(u"FALSE"), 0, VT_BOOL, S_OK, Bool(false)},
        {"text True with spaces", Str(u" True "), 0, VT_BOOL, S_OK, Bool(true)},
        {"text twelve", Str(u"12"), 0, VT_BOOL, S_OK, Bool(true)},
        {"text yes", Str(u"yes"), 0, VT_BOOL, DISP_E_TYPEMISMATCH, Empty()},
        {"text true to I4", Str(u"True"), 0, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"text stays text", Str(std::u16string_view(u"a\0b", 3)), 0, VT_BSTR, S_OK,
         Str(std::u16string_view(u"a\0b", 3))},
        {"I4 to date", I4(1), 0, VT_DATE, DISP_E_TYPEMISMATCH, Empty()},
        {"I4 to I4 reference", I4(1), 0, VT_BYREF | VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"I4 to type 15", I4(1), 0, 15, DISP_E_BADVARTYPE, Empty()},
        {"I4 to array", I4(1), 0, VT_ARRAY | VT_I4, DISP_E_BADVARTYPE, Empty()},
        {"unknown source type", Of(0x7F), 0, VT_I4, DISP_E_BADVARTYPE, Empty()},
        {"I4 to unknown", I4(1), 0, VT_UNKNOWN, DISP_E_TYPEMISMATCH, Empty()},
    };
    for (Conversion& c : table) {
        VARIANT out;
        VariantInit(&out);
        const HRESULT hr = VariantChangeType(&out, &c.source, c.flags, c.target);
        EXPECT_EQ(hr, c.expected) << c.name;
        if (SUCCEEDED(hr) && SUCCEEDED(c.expected)) {
            EXPECT_TRUE(SameValue(out, c.result)) << c.name << ": " << Describe(out);
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY) << c.name;
        }
        VariantClear(&out);
        VariantClear(&c.source);
        VariantClear(&c.result);
    }
}

TEST(VariantConverterTest, ReadsThroughReferences) {
    LONG number = 77;
    BSTR text = SysAllocString(u" 9 ");
    VARIANT inner = I2(-5);
    VARIANT innerText = Str(u"123");
    VARIANT innerRef = Empty();
    innerRef.vt = VT_BYREF | VT_I4;
    innerRef.plVal = &number;
    VARIANT outerRef = Empty();
    outerRef.vt = VT_BYREF | VT_VARIANT;
    outerRef.pvarVal = &inner;

    struct Case { const char* name; VARTYPE vt; void* ref; VARTYPE target; HRESULT expected; VARIANT result; };
    Case cases[] = {
        {"I4 by reference to text", VT_BYREF | VT_I4, &number, VT_BSTR, S_OK, Str(u"77")},
        {"text by reference to I4", VT_BYREF | VT_BSTR, &text, VT_I4, S_OK, I4(9)},
        {"variant holding I2", VT_BYREF | VT_VARIANT, &inner, VT_I4, S_OK, I4(-5)},
        {"variant holding text", VT_BYREF | VT_VARIANT, &innerText, VT_I2, S_OK, I2(123)},
        {"variant holding a reference", VT_BYREF | VT_VARIANT, &innerRef, VT_BSTR, S_OK, Str(u"77")},
        {"variant reference to variant reference", VT_BYREF | VT_VARIANT, &outerRef, VT_I4, E_INVALIDARG, Empty()},
        {"null reference", VT_BYREF | VT_I4, nullptr, VT_I4, DISP_E_TYPEMISMATCH, Empty()},
        {"reference to empty", VT_BYREF | VT_EMPTY, &number, VT_I4, DISP_E_BADVARTYPE, Empty()},
    };
    for (Case& c : cases) {
        VARIANT src = Empty();
        src.vt = c.vt;
        src.byref = c.ref;
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(VariantChangeType(&out, &src, 0, c.target), c.expected) << c.name;
        if (SUCCEEDED(c.expected)) {
            EXPECT_TRUE(SameValue(out, c.result)) << c.name << ": " << Describe(out);
        }
        VariantClear(&out);
        VariantClear(&c.result);
        // The referenced values stay the caller's and unchanged.
        EXPECT_EQ(number, 77);
        EXPECT_EQ(SysStringLen(text), 3u);
    }
    SysFreeString(text);
    VariantClear(&innerText);
}

TEST(VariantConverterTest, ConvertsInPlace) {
    VARIANT v = Str(u"15");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // the text is freed
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 15);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(v.bstrVal), u"15");
    // A failed conversion leaves the variant as it was.
    VariantClear(&v);
    v = Str(u"nope");
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(v.bstrVal), u"nope");
    VariantClear(&v);
}

// Interfaces convert to each other holding one reference; a dispatch
// converts to a value through its default property.
TEST(VariantConverterTest, InterfacesConvertWithReferencesOrThroughTheDefaultProperty) {
    CountingObject dispatch;
    CountingObject plain(false);
    VARIANT out;
    VariantInit(&out);
    VARIANT src = Dispatch(&dispatch);
    ASSERT_EQ(VariantChangeType(&out, &src, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(out.vt, VT_UNKNOWN);
    EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&dispatch));
    EXPECT_EQ(dispatch.Count(), 1);
    VariantClear(&out);
    EXPECT_EQ(dispatch.Count(), 0);
    EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);  // no value yet
    dispatch.Value() = I4(12);
    ASSERT_EQ(VariantChangeType(&out, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"12");
    VariantClear(&out);
    EXPECT_EQ(VariantChangeType(&out, &src, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(dispatch.Count(), 0);

    src.vt = VT_UNKNOWN;
    src.punkVal = &plain;
    EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(plain.Count(), 0);
    // Null interfaces convert to null of the other kind.
    src.punkVal = nullptr;
    ASSERT_EQ(VariantChangeType(&out, &src, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(out.vt, VT_DISPATCH);
    EXPECT_EQ(out.pdispVal, nullptr);
    src.vt = VT_DISPATCH;
    EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(VariantConverterTest, ClearAndCopyManageOwnership) {
    CountingObject object;
    VARIANT a = Dispatch(&object);
    object.AddRef();
    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(object.Count(), 2);
    EXPECT_EQ(VariantCopy(&b, &b), S_OK);
    EXPECT_EQ(object.Count(), 2);

    // Copying over b releases what b held; text copies are deep.
    VARIANT text = Str(std::u16string_view(u"x\0y", 3));
    ASSERT_EQ(VariantCopy(&b, &text), S_OK);
    EXPECT_EQ(object.Count(), 1);
    EXPECT_NE(b.bstrVal, text.bstrVal);
    EXPECT_TRUE(SameValue(b, text));
    VariantClear(&text);
    VariantClear(&b);
    EXPECT_EQ(b.vt, VT_EMPTY);

    // A reference owns nothing.
    VARIANT ref = Empty();
    ref.vt = VT_BYREF | VT_DISPATCH;
    IDispatch* held = &object;
    ref.ppdispVal = &held;
    ASSERT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(object.Count(), 1);

    ASSERT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(object.Count(), 0);

    // A copy through references is deep.
    VARIANT inner = Str(u"deep");
    ref = Ref(&inner);
    ASSERT_EQ(VariantCopyInd(&b, &ref), S_OK);
    ASSERT_EQ(b.vt, VT_BSTR);
    EXPECT_NE(b.bstrVal, inner.bstrVal);
    EXPECT_EQ(std::u16string(b.bstrVal), u"deep");
    VariantClear(&b);
    VariantClear(&inner);

    VARIANT bad = Of(0x7F);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&b, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
