#include "ThreadState.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include <comrt/objbase.h>
#include <comrt/winbase.h>

ThreadState& ThreadState::Current() {
    thread_local ThreadState state;
    return state;
}

DWORD GetLastError() { return ThreadState::Current().lastError; }

void SetLastError(DWORD code) { ThreadState::Current().lastError = code; }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {
// The kernel's id of the thread, kept in its own storage (reached without a
// call): it is asked for once per lock taken on some paths. 0 until asked.
__attribute__((tls_model("initial-exec"))) thread_local DWORD cachedThreadId = 0;

// The one thread of a child of fork is a new thread with an id of its own;
// it must not go on as the thread that forked.
void ForgetThreadIdInChild() { cachedThreadId = 0; }
}  // namespace

DWORD GetCurrentThreadId() {
    if (cachedThreadId == 0) {
        static const int registered = pthread_atfork(nullptr, nullptr, ForgetThreadIdInChild);
        (void)registered;
        cachedThreadId = static_cast<DWORD>(gettid());
    }
    return cachedThreadId;
}

HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD coInit) {
    ThreadState& state = ThreadState::Current();
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (state.comInitCount > 0) {
        // Only the apartment kind matters; the other COINIT bits are hints.
        if (model != state.comInitModel) return RPC_E_CHANGED_MODE;
        ++state.comInitCount;
        return S_FALSE;
    }
    state.comInitModel = model;
    state.comInitCount = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
    ThreadState& state = ThreadState::Current();
    if (state.comInitCount > 0) --state.comInitCount;
}

namespace {
// A version 4 (random) GUID. Without a random source the ids still differ
// within the process: a counter takes the place of the random bits.
GUID NewLogicalThreadId() {
    static std::atomic<unsigned long long> counter{0};
    unsigned char bytes[16] = {};
    try {
        std::random_device source;
        for (size_t i = 0; i < sizeof(bytes); i += sizeof(unsigned)) {
            const unsigned word = source();
            std::memcpy(bytes + i, &word, sizeof(word));
        }
    } catch (...) {
        const unsigned long long n = ++counter;
        std::memcpy(bytes, &n, sizeof(n));
    }
    GUID id;
    std::memcpy(&id, bytes, sizeof(id));
    id.Data3 = static_cast<WORD>((id.Data3 & 0x0FFF) | 0x4000);
    id.Data4[0] = static_cast<BYTE>((id.Data4[0] & 0x3F) | 0x80);
    return id;
}
}  // namespace

HRESULT CoGetCurrentLogicalThreadId(GUID* pguid) {
    if (pguid == nullptr) return E_INVALIDARG;
    ThreadState& state = ThreadState::Current();
    if (state.logicalThreadId == GUID_NULL) state.logicalThreadId = NewLogicalThreadId();
    *pguid = state.logicalThreadId;
    return S_OK;
}
