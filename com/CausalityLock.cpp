#include "com/CausalityLock.h"

GUID CausalityLock::CurrentCausality() noexcept {
    GUID id{};
    if (FAILED(CoGetCurrentLogicalThreadId(&id))) return GUID{};
    return id;
}

size_t CausalityLock::WaitingCalls() const noexcept {
    const std::lock_guard<std::mutex> guard(mutex_);
    return waiting_;
}

// Asked on the frame's own thread: at its entry or at its call out.
const GUID& CausalityLock::CausalityOf(Frame& frame) noexcept {
    if (!frame.causalityKnown) {
        frame.causality = CurrentCausality();
        frame.causalityKnown = true;
    }
    return frame.causality;
}

bool CausalityLock::MayEnter(Frame& fresh) const noexcept {
    if (top_ == nullptr || top_->thread == fresh.thread) return true;
    if (!top_->callingOut) return false;
    const GUID& causality = CausalityOf(fresh);
    return !IsEqualGUID(causality, GUID{}) && IsEqualGUID(top_->causality, causality);
}

void CausalityLock::Enter(Frame& fresh) noexcept {
    fresh.thread = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(mutex_);
    if (!MayEnter(fresh)) {
        ++waiting_;
        changed_.wait(guard, [&] { return MayEnter(fresh); });
        --waiting_;
    }
    if (top_ != nullptr && top_->thread == fresh.thread && !top_->callingOut) {
        ++top_->depth;
        return;
    }
    fresh.depth = 1;
    fresh.callingOut = false;
    fresh.below = top_;
    top_ = &fresh;
}

void CausalityLock::Leave() noexcept {
    const std::lock_guard<std::mutex> guard(mutex_);
    // Only the top frame's thread runs, so the call leaving is on top.
    if (top_ == nullptr || --top_->depth > 0) return;
    top_ = top_->below;
    changed_.notify_all();
}

CausalityLock::Frame* CausalityLock::BeginCallOut() noexcept {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (top_ == nullptr || top_->thread != std::this_thread::get_id() || top_->callingOut) return nullptr;
    CausalityOf(*top_);
    top_->callingOut = true;
    changed_.notify_all();
    return top_;
}

void CausalityLock::EndCallOut(Frame* frame) noexcept {
    if (frame == nullptr) return;
    std::unique_lock<std::mutex> guard(mutex_);
    if (top_ != frame) {
        ++waiting_;
        changed_.wait(guard, [&] { return top_ == frame; });
        --waiting_;
    }
    frame->callingOut = false;
}
