// The causality-aware call lock: who enters while a call runs or calls out,
// and that no two threads ever run under it at once. Threads stand for the
// threads on which COM delivers calls; the logical thread ids are given
// explicitly, as marshaling would carry them.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "com/CausalityLock.h"

namespace {

constexpr GUID kChainA = {0x1, 0x2, 0x4003, {0x80, 0, 0, 0, 0, 0, 0, 0xA}};
constexpr GUID kChainB = {0x5, 0x6, 0x4007, {0x80, 0, 0, 0, 0, 0, 0, 0xB}};

// Yields until `done` holds; every use waits for a step another thread
// takes without waiting for this one.
template <class Predicate>
void Until(Predicate done) {
    while (!done()) std::this_thread::yield();
}

TEST(CausalityLockTest, ACallFromAnotherThreadEntersOnlyWhenItBelongsToACallOut) {
    struct Case { const char* name; bool holderCallsOut; GUID other; bool enters; };
    const Case cases[] = {
        {"running, other chain", false, kChainB, false},
        {"running, same chain", false, kChainA, false},
        {"calling out, other chain", true, kChainB, false},
        {"calling out, no id", true, GUID{}, false},
        {"calling out, same chain", true, kChainA, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CausalityLock lock;
        std::atomic<bool> entered{false};
        std::thread other;
        {
            const CausalityLock::Call call(lock, kChainA);
            {
                std::optional<CausalityLock::CallOut> out;
                if (c.holderCallsOut) out.emplace(lock);
                other = std::thread([&] {
                    const CausalityLock::Call inner(lock, c.other);
                    entered = true;
                });
                Until([&] { return entered || lock.WaitingCalls() == 1; });
                EXPECT_EQ(entered.load(), c.enters);
                // A call that entered has left before the call out ends.
                if (c.enters) other.join();
            }
        }
        if (other.joinable()) other.join();
        EXPECT_TRUE(entered);
        EXPECT_EQ(lock.WaitingCalls(), 0u);
    }
}

TEST(CausalityLockTest, TheFiringThreadEntersAgainWhileItCallsOut) {
    CausalityLock lock;
    const CausalityLock::Call call(lock, kChainA);
    const CausalityLock::CallOut out(lock);
    // A sink called directly, on the firing thread; no id known.
    const CausalityLock::Call callback(lock, GUID{});
    const CausalityLock::Call recursion(lock, kChainB);
    EXPECT_EQ(lock.WaitingCalls(), 0u);
}

// While a callback of the chain runs, the call that called out stays
// stopped: its call out cannot return, and a call its own thread makes from
// inside the call out (a sink called directly) waits too.
TEST(CausalityLockTest, OnlyTheInnermostCallRuns) {
    for (const bool directCall : {false, true}) {
        SCOPED_TRACE(directCall ? "a direct call from inside the call out" : "the call out returns");
        CausalityLock lock;
        std::atomic<bool> callingOut{false}, callbackInside{false}, releaseCallback{false}, progressed{false};
        std::thread firing([&] {
            const CausalityLock::Call call(lock, kChainA);
            {
                const CausalityLock::CallOut out(lock);
                callingOut = true;
                Until([&] { return callbackInside.load(); });
                if (directCall) {
                    const CausalityLock::Call direct(lock, kChainA);
                    progressed = true;
                }
            }
            progressed = true;
        });
        Until([&] { return callingOut.load(); });
        std::thread callback([&] {
            const CausalityLock::Call inner(lock, kChainA);
            callbackInside = true;
            Until([&] { return releaseCallback.load(); });
        });
        Until([&] { return callbackInside && lock.WaitingCalls() == 1; });
        EXPECT_FALSE(progressed);
        releaseCallback = true;
        callback.join();
        firing.join();
        EXPECT_TRUE(progressed);
    }
}

}  // namespace
