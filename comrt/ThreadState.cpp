#include "ThreadState.h"

#include <chrono>
#include <thread>

#include <comrt/objbase.h>
#include <comrt/winbase.h>

ThreadState& ThreadState::Current() {
    thread_local ThreadState state;
    return state;
}

DWORD GetLastError() { return ThreadState::Current().lastError; }

void SetLastError(DWORD code) { ThreadState::Current().lastError = code; }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

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
