// The event connection point: sink list layout, cookies, delivery order,
// the form of each call, re-entrant Unadvise, enumeration, and sink
// reference counts.
#include <gtest/gtest.h>

#include <atomic>
#include <span>
#include <thread>
#include <vector>

#include "OBZeveVevuVAD.h"
#include "com/ComBstr.h"
#include "com/ComPtr.h"
#include "com/ConnectionPointContainer.h"
#include "com/Creator.h"
#include "com/ObjectRoot.h"
#include "facade/EventSink.h"

namespace {

class CEventSource : public ObjectRoot, public ConnectionPointContainer {
public:
    CEventSource() noexcept : ConnectionPointContainer(*this, DIID__IZeveVevuVADEvents) {}
    static std::span<const InterfaceEntry<CEventSource>> InterfaceTable() noexcept {
        static const InterfaceEntry<CEventSource> table[] = {
            InterfaceEntry<CEventSource>::Of<IConnectionPointContainer>(IID_IConnectionPointContainer),
        };
        return table;
    }
};

class ConnectionPointTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Creator<CEventSource>::CreateInstance(nullptr, IID_IConnectionPointContainer,
                                                        container_.ReceiveVoid()),
                  S_OK);
        ASSERT_EQ(container_->FindConnectionPoint(DIID__IZeveVevuVADEvents, point_.Receive()), S_OK);
        for (int i = 0; i < 6; ++i) {
            sinks_[i].onEvent = [this, i] { receivers_.push_back(i); };
        }
    }
    ConnectionPoint& Point() { return *static_cast<ConnectionPoint*>(point_.Get()); }
    DWORD Advise(int sink) {
        DWORD cookie = 0;
        EXPECT_EQ(point_->Advise(&sinks_[sink], &cookie), S_OK);
        return cookie;
    }
    HRESULT FireLog(const OLECHAR* text) {
        ComBstr message;
        EXPECT_EQ(message.Assign(WString(text)), S_OK);
        VARIANT arg{};
        arg.vt = VT_BSTR;
        arg.bstrVal = message.Get();
        callerBstr_ = message.Get();
        return Point().Fire(DISPID_EV_OnWriteLog, &arg, 1);
    }

    std::vector<int> receivers_;  // the sinks called, in order
    BSTR callerBstr_ = nullptr;
    EventSink sinks_[6];
    ComPtr<IConnectionPointContainer> container_;
    ComPtr<IConnectionPoint> point_;
};

TEST_F(ConnectionPointTest, AdviseRejectsWhatCannotSubscribe) {
    DWORD cookie = 77;
    EXPECT_EQ(point_->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point_->Advise(&sinks_[0], nullptr), E_POINTER);

    sinks_[0].eventsQuery = E_NOINTERFACE;  // not an event sink
    cookie = 77;
    EXPECT_EQ(point_->Advise(&sinks_[0], &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    sinks_[1].eventsQuery = E_ACCESSDENIED;
    EXPECT_EQ(point_->Advise(&sinks_[1], &cookie), E_ACCESSDENIED);
    EXPECT_EQ(Point().SlotCount(), 0);  // nothing stored, no slots made
    EXPECT_EQ(sinks_[0].refs.load(), 1u);
    EXPECT_EQ(sinks_[1].refs.load(), 1u);
}

TEST_F(ConnectionPointTest, CookiesNameSlotsAndTheLowestEmptySlotIsReused) {
    EXPECT_EQ(point_->Unadvise(1), CONNECT_E_NOCONNECTION);  // no slots yet
    EXPECT_EQ(Advise(0), 1u);
    EXPECT_EQ(Point().SlotCount(), 4);
    EXPECT_EQ(Advise(1), 2u);
    EXPECT_EQ(point_->Unadvise(1), S_OK);
    EXPECT_EQ(point_->Unadvise(1), CONNECT_E_NOCONNECTION);
    for (DWORD bad : {0u, 5u, 0xFFFFFFFFu}) EXPECT_EQ(point_->Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
    EXPECT_EQ(Advise(2), 1u);
    EXPECT_EQ(Advise(3), 3u);
    EXPECT_EQ(Advise(4), 4u);
    EXPECT_EQ(Point().SlotCount(), 4);
    EXPECT_EQ(Advise(5), 5u);  // the fifth sink doubles the slots
    EXPECT_EQ(Point().SlotCount(), 8);
    for (DWORD cookie = 1; cookie <= 5; ++cookie) EXPECT_EQ(point_->Unadvise(cookie), S_OK);
    EXPECT_EQ(Point().SlotCount(), 8);  // never shrinks
    EXPECT_EQ(Advise(0), 1u);
}

TEST_F(ConnectionPointTest, SinkReferencesReturnAfterUnadviseAndDestruction) {
    const DWORD first = Advise(0);
    Advise(1);
    EXPECT_GT(sinks_[0].refs.load(), 1u);
    EXPECT_EQ(point_->Unadvise(first), S_OK);
    EXPECT_EQ(sinks_[0].refs.load(), 1u);

    point_.Reset();
    container_.Reset();  // destroys the source with sink 1 still subscribed
    EXPECT_TRUE(receivers_.empty());  // nothing is sent at destruction
    EXPECT_EQ(sinks_[1].refs.load(), 1u);
}

TEST_F(ConnectionPointTest, FireDeliversToEverySinkLowestSlotFirst) {
    EXPECT_EQ(FireLog(OLESTR("nobody")), S_OK);
    EXPECT_TRUE(receivers_.empty());

    Advise(3);
    Advise(1);
    Advise(2);
    EXPECT_EQ(point_->Unadvise(1), S_OK);
    Advise(4);  // takes slot 0
    EXPECT_EQ(FireLog(OLESTR("hello")), S_OK);
    EXPECT_EQ(receivers_, (std::vector<int>{4, 1, 2}));
    // Each sink got a copy of the text, never the caller's own BSTR.
    for (int sink : {1, 2, 4}) {
        ASSERT_EQ(sinks_[sink].events.size(), 1u);
        EXPECT_EQ(sinks_[sink].events[0].id, DISPID_EV_OnWriteLog);
        EXPECT_EQ(sinks_[sink].events[0].text, OLESTR("hello"));
        EXPECT_NE(sinks_[sink].events[0].bstr, callerBstr_);
    }
}

// rgvarg holds the last argument first.
TEST_F(ConnectionPointTest, FireWithSeveralArgumentsKeepsTheirOrder) {
    Advise(0);
    ComBstr text;
    ASSERT_EQ(text.Assign(WString(OLESTR("System Connected"))), S_OK);
    VARIANT args[3] = {};
    args[0].vt = VT_BSTR;
    args[0].bstrVal = text.Get();
    args[1].vt = args[2].vt = VT_I4;
    args[1].lVal = 1;
    args[2].lVal = 2;
    EXPECT_EQ(Point().Fire(DISPID_EV_OnCommandMsg, args, 3), S_OK);
    ASSERT_EQ(sinks_[0].events.size(), 1u);
    const EventSink::Event& e = sinks_[0].events[0];
    EXPECT_EQ(e.id, DISPID_EV_OnCommandMsg);
    EXPECT_EQ(e.text, OLESTR("System Connected"));
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(e.type, 2);
}

TEST_F(ConnectionPointTest, FailingSinkStaysSubscribedAndTheLastResultIsReturned) {
    Advise(0);
    sinks_[0].invokeResult = E_FAIL;
    EXPECT_EQ(FireLog(OLESTR("a")), E_FAIL);
    Advise(1);
    EXPECT_EQ(FireLog(OLESTR("b")), S_OK);  // the last sink called succeeded
    sinks_[1].invokeResult = DISP_E_MEMBERNOTFOUND;
    EXPECT_EQ(FireLog(OLESTR("c")), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(receivers_, (std::vector<int>{0, 0, 1, 0, 1}));
}

TEST_F(ConnectionPointTest, SinkMayUnadviseAndAdviseWhileAnEventIsFired) {
    const DWORD first = Advise(0);
    Advise(1);
    DWORD late = 0;
    sinks_[0].onEvent = [&] {
        receivers_.push_back(0);
        EXPECT_EQ(point_->Unadvise(first), S_OK);
        // Subscribing during a firing, beyond the slots read at its start.
        for (int i = 2; i <= 5; ++i) {
            EXPECT_EQ(point_->Advise(&sinks_[i], &late), S_OK);
        }
    };
    EXPECT_EQ(FireLog(OLESTR("one")), S_OK);
    EXPECT_EQ(late, 5u);
    // Slot 0, refilled by sink 2, is not revisited; slot 4 lies beyond the
    // count read when the firing began.
    EXPECT_EQ(receivers_, (std::vector<int>{0, 1, 3, 4}));
    receivers_.clear();
    EXPECT_EQ(FireLog(OLESTR("two")), S_OK);
    EXPECT_EQ(receivers_, (std::vector<int>{2, 1, 3, 4, 5}));
    EXPECT_EQ(sinks_[0].refs.load(), 1u);
}

TEST_F(ConnectionPointTest, EnumConnectionsWalksASnapshot) {
    const DWORD first = Advise(0);
    Advise(1);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point_->EnumConnections(connections.Receive()), S_OK);
    EXPECT_EQ(point_->Unadvise(first), S_OK);
    EXPECT_EQ(sinks_[0].refs.load(), 2u);  // the snapshot holds it

    CONNECTDATA data[3] = {};
    ULONG fetched = 9;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(&sinks_[0]));
    EXPECT_EQ(data[1].dwCookie, 2u);
    EXPECT_EQ(sinks_[0].refs.load(), 3u);  // handed out with a reference
    data[0].pUnk->Release();
    data[1].pUnk->Release();
    EXPECT_EQ(connections->Next(2, data, nullptr), E_INVALIDARG);
    connections.Reset();
    EXPECT_EQ(sinks_[0].refs.load(), 1u);
}

// The point shares the container's count and leads back to it.
TEST_F(ConnectionPointTest, ContainerAndPointIdentity) {
    IConnectionPoint* other = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(container_->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(other, nullptr);
    const ULONG before = container_->AddRef();
    container_->Release();
    point_->AddRef();
    EXPECT_EQ(container_->AddRef(), before + 1);
    container_->Release();
    point_->Release();
    IID iid{};
    EXPECT_EQ(point_->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__IZeveVevuVADEvents));
    ComPtr<IConnectionPointContainer> owner;
    EXPECT_EQ(point_->GetConnectionPointContainer(owner.Receive()), S_OK);
    EXPECT_EQ(owner.Get(), container_.Get());
}

TEST_F(ConnectionPointTest, FiringFromSeveralThreadsWhileSinksComeAndGo) {
    std::atomic<bool> stop{false};
    EventSink churn;
    std::thread changer([&] {
        while (!stop) {
            DWORD cookie = 0;
            if (SUCCEEDED(point_->Advise(&churn, &cookie))) {
                point_->Unadvise(cookie);
            }
        }
    });
    std::thread firers[2];
    std::atomic<int> fired{0};
    for (auto& t : firers) {
        t = std::thread([&] {
            for (int i = 0; i < 200; ++i) {
                VARIANT arg{};
                arg.vt = VT_I4;
                arg.lVal = i;
                Point().Fire(DISPID_EV_OnWriteLog, &arg, 1);
                ++fired;
            }
        });
    }
    for (auto& t : firers) {
        t.join();
    }
    stop = true;
    changer.join();
    EXPECT_EQ(fired.load(), 400);
    EXPECT_EQ(churn.refs.load(), 1u);
}

}  // namespace
