// The call lock of an object that calls out to its clients (fires events)
// while a call is in progress, and whose clients may call back from there.
//
// Calls run one at a time: a call queues while another runs. The exception
// is a call that belongs to the call in progress, which may enter while that
// call is calling out and then runs inside it. A call belongs to it when it
// comes from the same thread (a sink called directly), or carries the same
// logical thread id: COM gives every call of one chain of calls that id, and
// carries it across apartments, so a sink in a single-threaded apartment that
// calls back from inside an event reaches the object on another thread with
// the id of the call that fired the event. Without this, that callback would
// wait for the call that waits for the sink.
//
// Only one thread ever runs under the lock: a call that entered during a
// call out runs while the caller-out is stopped in the call out, and a call
// out that returns waits until every call that entered meanwhile has left.
// A call that is not calling out lets in only its own thread (recursion).
//
// Waiting blocks on a condition variable, without a time limit and in no
// promised order; nothing spins. Thread-safety: every member from any thread.
// Nothing fails or throws (a system mutex that fails ends the process, as
// with std::mutex anywhere).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "com/Platform.h"

class CausalityLock {
    // A call running or stopped in a call out, innermost on top. Lives in
    // the Call that entered it; recursive calls of its thread count in depth.
    // Its causality is asked for only once it matters: when the frame calls
    // out, or when the call cannot enter by its thread alone.
    struct Frame {
        std::thread::id thread;
        GUID causality{};
        bool causalityKnown = false;
        unsigned depth = 0;
        bool callingOut = false;
        Frame* below = nullptr;
    };

public:
    CausalityLock() noexcept = default;
    CausalityLock(const CausalityLock&) = delete;
    CausalityLock& operator=(const CausalityLock&) = delete;

    // The calling thread's logical thread id; GUID_NULL where the platform
    // cannot tell (the call is then known by its thread only).
    static GUID CurrentCausality() noexcept;

    // Holds the lock for one call, from construction to destruction, on one
    // thread. The call's logical thread id is the calling thread's, or
    // `causality` where given (GUID_NULL: none).
    class Call {
    public:
        explicit Call(CausalityLock& lock) noexcept : lock_(lock) { lock_.Enter(frame_); }
        Call(CausalityLock& lock, const GUID& causality) noexcept : lock_(lock) {
            frame_.causality = causality;
            frame_.causalityKnown = true;
            lock_.Enter(frame_);
        }
        ~Call() { lock_.Leave(); }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        CausalityLock& lock_;
        Frame frame_;
    };

    // Marks a call out of the call that the calling thread runs under the
    // lock, for its lifetime: calls that belong to that call may enter
    // meanwhile. Its destructor waits until they have all left. Does nothing
    // on a thread that runs no call under the lock.
    class CallOut {
    public:
        explicit CallOut(CausalityLock& lock) noexcept : lock_(lock), frame_(lock.BeginCallOut()) {}
        ~CallOut() { lock_.EndCallOut(frame_); }
        CallOut(const CallOut&) = delete;
        CallOut& operator=(const CallOut&) = delete;

    private:
        CausalityLock& lock_;
        Frame* frame_;
    };

    // The threads waiting to enter, or to return from a call out.
    size_t WaitingCalls() const noexcept;

private:
    // Pushes `fresh` (its causality filled in or not), or counts a recursion
    // in the top frame.
    void Enter(Frame& fresh) noexcept;
    void Leave() noexcept;
    Frame* BeginCallOut() noexcept;
    void EndCallOut(Frame* frame) noexcept;
    // Whether the call of `fresh`, on the calling thread, may enter now.
    bool MayEnter(Frame& fresh) const noexcept;
    static const GUID& CausalityOf(Frame& frame) noexcept;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Frame* top_ = nullptr;
    size_t waiting_ = 0;
};
