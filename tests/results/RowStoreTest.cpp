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

TEST(RowStoreTest, JoinedValuesStoreTheJoinedText) {
    const OLECHAR* const wide = OLESTR("\u20ac");
    const WString many(20, OLESTR('v'));
    const WString longer(std::size_t{1} << 17, OLESTR('l'));
    struct Case { const char* what; std::vector<const OLECHAR*> values; } const cases[] = {
        {"none", {}},
        {"one empty", {OLESTR("")}},
        {"one null", {nullptr}},
        {"three", {OLESTR("1"), OLESTR("x"), OLESTR("2.5")}},
        {"null and empty ones", {nullptr, OLESTR("a"), OLESTR(""), nullptr}},
        {"a wide unit", {OLESTR("a"), wide, OLESTR("b")}},
        {"more values than fit inline", std::vector<const OLECHAR*>(20, many.c_str())},
        {"longer than the room left", {OLESTR("a"), longer.c_str(), OLESTR("b")}},
        {"after it", {OLESTR("c"), OLESTR("d")}},
    };
    RowStore store;
    std::vector<WString> expected;
    for (const Case& c : cases) {
        store.AppendJoined(c.values.data(), c.values.size(), OLESTR("|#|"));
        WString joined;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            if (i > 0) joined += OLESTR("|#|");
            if (c.values[i] != nullptr) joined += c.values[i];
        }
        expected.push_back(joined);
    }
    ASSERT_EQ(store.Size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(CopyOf(store, i), expected[i]);
        EXPECT_EQ(store.At(i).narrow, expected[i].find(OLECHAR(0x20AC)) == WString::npos);
    }
    // A separator that does not fit in what is left of the first block (64
    // KiB, two bytes left): the row goes to the next block whole.
    RowStore edge;
    const WString filler(65534, OLESTR('f'));
    edge.Append(filler.data(), filler.size());
    const OLECHAR* const values[] = {OLESTR(""), OLESTR("y")};
    edge.AppendJoined(values, 2, OLESTR("|#|"));
    EXPECT_EQ(CopyOf(edge, 0), filler);
    EXPECT_EQ(CopyOf(edge, 1), WString(OLESTR("|#|y")));
}

TEST(RowStoreTest, ManyRowsKeepTheirOrderAcrossIndexChunksAndAClear) {
    // Index chunks double from 1024 rows, so chunk boundaries fall at
    // 1024 * (2^k - 1); 300,000 rows reach the chunks and text blocks that
    // are large regions of their own. Every other row comes as values
    // joined at its first space, so that joined rows also meet the end of
    // each block, narrow and wide.
    RowStore store;
    auto textOf = [](std::size_t i, int round) {
        const std::string text = "row " + std::to_string(i * 3 + static_cast<std::size_t>(round));
        return WString(text.begin(), text.end());
    };
    for (int round = 0; round < 2; ++round) {
        store.Clear();
        EXPECT_EQ(store.Size(), 0u);
        const std::size_t count = round == 0 ? 300000 : 5000;
        for (std::size_t i = 0; i < count; ++i) {
            const WString text = i % 1000 == 7 ? WString(OLESTR("\u20ac wide ")) + textOf(i, round) : textOf(i, round);
            if (i % 2 == 0) {
                store.Append(text.data(), text.size());
            } else {
                const std::size_t space = text.find(OLESTR(' '));
                const WString head = text.substr(0, space), tail = text.substr(space + 1);
                const OLECHAR* const values[] = {head.c_str(), tail.c_str()};
                store.AppendJoined(values, 2, OLESTR(" "));
            }
        }
        ASSERT_EQ(store.Size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const WString expected =
                i % 1000 == 7 ? WString(OLESTR("\u20ac wide ")) + textOf(i, round) : textOf(i, round);
            const WString stored = CopyOf(store, i);
            ASSERT_EQ(stored, expected) << "row " << i;  // the first wrong row is enough
        }
    }
}

}  // namespace
