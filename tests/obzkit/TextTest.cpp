// The client kit's text: UTF-8 to and from UTF-16 (the BSTRs the component
// takes and gives), and the BSTR owner's hand-overs.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "obzkit/Bstr.h"
#include "obzkit/Utf8.h"

namespace {

using obzkit::Bstr;
using obzkit::OleString;

TEST(TextTest, Utf8AndUtf16ConvertBothWays) {
    struct Case { const char* what; std::string utf8; OleString wide; };
    const Case cases[] = {
        {"empty", "", OleString()},
        {"ASCII", "People|1|0|1", OLESTR("People|1|0|1")},
        {"two-byte", "Caf\xc3\xa9", OLESTR("Caf\u00e9")},
        {"three-byte", "\xe2\x82\xac" "5", OLESTR("\u20ac5")},
        {"outside the BMP: a surrogate pair", "\xf0\x9f\x98\x80!", OLESTR("\xD83D\xDE00!")},
        {"an embedded zero", std::string("a\0b", 3), OleString(OLESTR("a\0b"), 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(obzkit::ToOle(c.utf8), c.wide) << c.what;
        EXPECT_EQ(obzkit::ToUtf8(c.wide.data(), c.wide.size()), c.utf8) << c.what;
        const Bstr text(c.utf8);
        EXPECT_EQ(text.Length(), c.wide.size()) << c.what;
        EXPECT_EQ(text.Utf8(), c.utf8) << c.what;
    }
}

TEST(TextTest, MalformedTextBecomesReplacementCharacters) {
    EXPECT_EQ(obzkit::ToOle("a\xff"), OleString(OLESTR("a\uFFFD")));
    const OleString lone(OLESTR("x\xD800"));
    EXPECT_EQ(obzkit::ToUtf8(lone.data(), lone.size()), "x\xef\xbf\xbd");
    EXPECT_EQ(obzkit::ToUtf8(nullptr, 5), "");
    EXPECT_EQ(obzkit::ToUtf8(BSTR{}), "");
}

TEST(TextTest, BstrOwnsExactlyOneTextAtATime) {
    Bstr empty;
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.Utf8(), "");
    EXPECT_EQ(Bstr(static_cast<const OLECHAR*>(nullptr)).Get(), nullptr);

    Bstr text(OLESTR("first"));
    BSTR* slot = text.Put();  // frees "first"; the sanitizers see a leak otherwise
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(OLESTR("second"));  // as a [out] argument fills it
    EXPECT_EQ(text.Utf8(), "second");

    Bstr moved(std::move(text));
    EXPECT_EQ(text.Get(), nullptr);
    moved = Bstr("third");  // frees "second"
    EXPECT_EQ(moved.Utf8(), "third");
    BSTR mine = moved.Detach();
    EXPECT_EQ(moved.Get(), nullptr);
    EXPECT_EQ(obzkit::ToUtf8(mine), "third");
    SysFreeString(mine);
}

}  // namespace
