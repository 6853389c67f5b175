// The memory barrier on every running thread of the process that backs
// FlushProcessWriteBuffers: the kernel's membarrier, in its private
// expedited form (an interrupt to each processor that runs a thread of the
// process; the process registers for it on the first call), or where the
// kernel refuses that, its global form (slower: it waits until every
// processor has passed a quiescent state). Where the kernel offers neither,
// Flush fences the calling thread only and Available answers false: nothing
// else interrupts the other threads on every processor (changing a page's
// protection does not, where the processor invalidates translations without
// interrupts). A kernel that offered membarrier and then refuses it would
// leave Flush with the same fence alone; no kernel is known to do so.
// Thread-safety: safe from any thread; the choice is made once, on first use.
#pragma once

class ProcessBarrier {
public:
    static bool Available() noexcept;
    static void Flush() noexcept;

private:
    enum class Way { kExpedited, kGlobal, kNone };
    static Way Chosen() noexcept;
};
