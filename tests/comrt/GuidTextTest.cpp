#include <iterator>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

constexpr GUID kSample = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

TEST(GuidTextTest, FormatsUpperCaseBracedAndRoundTripsThroughBothParsers) {
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{0123ABCD-4567-89EF-FEDC-BA9876543210}");
    EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
    const GUID samples[] = {kSample, GUID_NULL, IID_IDispatch,
                            {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const GUID& g : samples) {
        ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
        CLSID clsid;
        IID iid;
        EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK);
        EXPECT_EQ(IIDFromString(text, &iid), S_OK);
        EXPECT_EQ(clsid, g);
        EXPECT_EQ(iid, g);
    }
    GUID g;
    ASSERT_EQ(CLSIDFromString(u"{0123abcd-4567-89ef-fedc-ba9876543210}", &g), S_OK);
    EXPECT_EQ(g, kSample);
    // Null text is GUID_NULL.
    EXPECT_EQ(CLSIDFromString(nullptr, &g), S_OK);
    EXPECT_EQ(g, GUID_NULL);
}

TEST(GuidTextTest, RejectsMalformedText) {
    const char16_t* malformed[] = {
        u"",
        u"0123ABCD-4567-89EF-FEDC-BA9876543210",    // no braces
        u"{0123ABCD-4567-89EF-FEDC-BA9876543210}x", // trailing text
        u"{0123ABCD-4567-89EF-FEDCBA9876543210}",   // missing dash
        u"{0123ABCD-4567-89EF-FEDC-BA987654321G}",  // not hex
        u"{0123ABC-4567-89EF-FEDC-BA9876543210}",   // short group
        u"No.Such.ProgId",
    };
    for (size_t i = 0; i < std::size(malformed); ++i) {
        GUID g = kSample;
        EXPECT_EQ(CLSIDFromString(malformed[i], &g), CO_E_CLASSSTRING) << i;
        EXPECT_EQ(g, GUID_NULL) << i;
        EXPECT_EQ(IIDFromString(malformed[i], &g), E_INVALIDARG) << i;
    }
}

}  // namespace
