// The packed row store of a RecordSet: every text comes back unit for unit,
// whatever its units, its length, or the blocks it falls into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/RowStore.h"

namespace {

WString CopyOf(const RowStore& store, std::size_t index) {
    BSTR copy = store.Copy(index);
    EXPECT_NE(copy, nullptr);
    WString text(copy, SysStringLen(copy));
    EXPECT_EQ(copy[SysStringLen(copy)], 0);
    SysFreeString(copy);
    return text;
}

TEST(RowStoreTest, GivesBackEveryTextAsStored) {
    const std::vector<WString> texts = {
        WString(),
        WString(OLESTR("1|#|x|#|2.5")),
        WString(OLESTR("caf\u00e9 \u00ff")),             // one byte per unit
        WString(OLESTR("\u0100 wide")),                 // first unit above 0xFF
        WString(OLESTR("odd\u20ac")),                    // a wide text after a narrow one of odd length
        WString(1, OLECHAR(0xD800)) + OLESTR("lone"),  // a lone surrogate stays as it is
        WString(OLESTR("nul")) + OLECHAR(0) + OLESTR("inside"),
        WString(std::size_t{1} << 20, OLESTR('n')),     // longer than a block
        WString(std::size_t{600000}, OLECHAR(0x4E2D)),  // wide, longer than a block
        WString(OLESTR("after the long ones")),
    };
    RowStore store;
    for (const WString& text : texts) store.Append(text.data(), text.size());
    ASSERT_EQ(store.Size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(CopyOf(store, i), texts[i]);
    }
}

TEST(RowStoreTest, ManyRowsKeepTheirOrderAcrossIndexBlocksAndAClear) {
    RowStore store;
    for (int round = 0; round < 2; ++round) {
        store.Clear();
        EXPECT_EQ(store.Size(), 0u);
        const int count = 10000 + round;
        for (int i = 0; i < count; ++i) {
            const std::string text = std::to_string(i * 3 + round);
            const WString wide(text.begin(), text.end());
            store.Append(wide.data(), wide.size());
        }
        ASSERT_EQ(store.Size(), static_cast<std::size_t>(count));
        for (int i : {0, 4095, 4096, 8191, 8192, count - 1}) {
            const std::string text = std::to_string(i * 3 + round);
            EXPECT_EQ(CopyOf(store, static_cast<std::size_t>(i)), WString(text.begin(), text.end()));
        }
    }
}

}  // namespace
