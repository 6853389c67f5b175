// One component object called from several threads at once. Overlapping
// calls queue on the object's call lock: every write that answered 1 is in
// the file, queries see whole tables, and every event reaches the sinks
// whole. A sink may call back into the object on the firing thread, and
// subscribe or unsubscribe from another thread while a call is in progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "BstrArg.h"
#include "ComponentFixture.h"
#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace {

using Arg = BstrArg;

class CZeveVevuVADThreadTest : public ComponentFixture {
protected:
    void SetUp() override {
        ComponentFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        LONG ret = 0;
        ASSERT_EQ(object->CreateDbFile(Arg(StarFile("threads.db")), Arg("T"), Arg("k,w"), &ret), S_OK);
        ASSERT_EQ(ret, 1);
    }
    size_t LogsContaining(const WString& text) const {
        const std::vector<WString> lines = sink.Logs();
        return size_t(std::count_if(lines.begin(), lines.end(),
                                    [&](const WString& line) { return line.find(text) != WString::npos; }));
    }
};

TEST_F(CZeveVevuVADThreadTest, ThreadsSharingOneObjectLoseNoRowAndNoEvent) {
    // The sink answers each failed write by storing a row of its own,
    // calling back into the object on the thread that fired.
    std::vector<std::string> callbackRows;
    sink.onEvent = [&] {
        const EventSink::Event& event = sink.events.back();
        if (event.text.find(OLESTR("no such table: Nowhere")) == WString::npos) return;
        const std::string key = "cb-" + std::to_string(callbackRows.size());
        LONG ret = 0;
        object->InsertDBRecord(Arg("T"), Arg("k,w"), Arg(key + ",cb"), &ret);
        if (ret == 1) callbackRows.push_back(key);
    };

    constexpr int kThreads = 4, kRounds = 12;
    std::vector<std::vector<std::string>> stored(kThreads);
    std::vector<int> connects(kThreads), failedWrites(kThreads);
    auto work = [&](int thread) {
        ComPtr<IRecordSet> set;
        ComPtr<IRecordItem> item;
        ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
        ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
        std::vector<std::string>& mine = stored[size_t(thread)];
        auto insert = [&](const std::string& key) {
            LONG ret = 0;
            EXPECT_EQ(object->InsertDBRecord(Arg("T"), Arg("k,w"), Arg(key + "," + std::to_string(thread)), &ret),
                      S_OK);
            EXPECT_EQ(ret, 1) << key;
            if (ret == 1) mine.push_back(key);
        };
        for (int round = 0; round < kRounds; ++round) {
            const std::string key = std::to_string(thread) + "-" + std::to_string(round);
            LONG ret = 0;
            switch (round % 4) {
                case 0: insert(key); break;
                case 1: {
                    // Another thread's commit may end this transaction early,
                    // or this one may join another's: every row is kept all
                    // the same.
                    EXPECT_EQ(object->BeginTransation(), S_OK);
                    for (int i = 0; i < 3; ++i) insert(key + "-" + std::to_string(i));
                    EXPECT_EQ(object->CommitTransation(), S_OK);
                    break;
                }
                case 2: {
                    VARIANT_BOOL ok = VARIANT_FALSE;
                    EXPECT_EQ(object->GetDBRecordSet(Arg("T"), nullptr, nullptr, set.Get(), &ok), S_OK);
                    EXPECT_EQ(ok, VARIANT_TRUE);
                    LONG count = 0;
                    set->GetRecordCount(&count);
                    EXPECT_GE(count, LONG(mine.size()));
                    BSTR value = nullptr;
                    EXPECT_EQ(set->GetRecordItem(count - 1, item.Get(), &ok), S_OK);
                    item->GetDataValue(Arg("k"), &value);
                    EXPECT_GT(SysStringLen(value), 0u);
                    SysFreeString(value);
                    break;
                }
                default: {
                    EXPECT_EQ(object->Connect(nullptr, nullptr, &ret), S_OK);
                    EXPECT_TRUE(ret == 1 || ret == 2) << ret;
                    ++connects[size_t(thread)];
                    // Inside another thread's transaction this fails silently.
                    EXPECT_EQ(object->InsertDBRecord(Arg("Nowhere"), Arg("k"), Arg("1"), &ret), S_OK);
                    EXPECT_EQ(ret, 0);
                    ++failedWrites[size_t(thread)];
                    EXPECT_EQ(object->UpdateDBRecord(Arg("T"), Arg("k"), Arg(std::to_string(thread) + "-0"),
                                                     Arg("w"), Arg("u"), &ret),
                              S_OK);
                    EXPECT_EQ(ret, 1);
                    Object().HostNotification(1, 3, nullptr);
                    break;
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
    for (std::thread& t : threads) t.join();

    EXPECT_FALSE(Object().Facade().InTransaction());
    std::vector<std::string> expected = callbackRows;
    for (const auto& rows : stored) expected.insert(expected.end(), rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected.size(), size_t(kThreads * (kRounds / 4) * (1 + 3)) + callbackRows.size());
    EXPECT_EQ(Rows(dir / "threads.db", "SELECT k FROM T ORDER BY k"), expected);

    int totalConnects = 0, totalFailed = 0;
    for (int t = 0; t < kThreads; ++t) totalConnects += connects[size_t(t)], totalFailed += failedWrites[size_t(t)];
    EXPECT_EQ(LogsContaining(OLESTR("ZeveVevuVAD Connected, Version = ")), size_t(totalConnects));
    const size_t failureLines = LogsContaining(OLESTR("no such table: Nowhere"));
    EXPECT_LE(failureLines, size_t(totalFailed));
    EXPECT_EQ(failureLines, callbackRows.size());
    for (const WString& line : sink.Logs()) EXPECT_EQ(line.rfind(OLESTR("ZeveVevuVAD64--"), 0), 0u) << Narrow(line);
    const size_t notices = size_t(std::count_if(sink.events.begin(), sink.events.end(), [](const auto& e) {
        return e.id == DISPID_EV_OnCommandMsg && e.type == 2 && e.code == 3;
    }));
    EXPECT_EQ(notices, size_t(totalConnects));
}

// Subscribing touches only the sink list: a sink that has another thread
// Advise and Unadvise while the object fires does not wait for the call in
// progress (were it to, this test would hang).
TEST_F(CZeveVevuVADThreadTest, SubscriptionsFromAnotherThreadDuringAnEventDoNotWait) {
    EventSink other;
    bool done = false;
    sink.onEvent = [&] {
        if (done) return;
        done = true;
        auto subscriber = std::async(std::launch::async, [&] {
            DWORD otherCookie = 0;
            ComPtr<IEnumConnections> connections;
            return point->Advise(&other, &otherCookie) == S_OK &&
                   point->EnumConnections(connections.Receive()) == S_OK && point->Unadvise(otherCookie) == S_OK;
        });
        EXPECT_TRUE(subscriber.get());
    };
    LONG ret = 0;
    EXPECT_EQ(object->Connect(nullptr, nullptr, &ret), S_OK);
    EXPECT_TRUE(done);
    EXPECT_EQ(other.refs.load(), 1u);
}

}  // namespace
