#include "com/ProcessFence.h"

#include "com/Platform.h"

#ifdef _WIN32

bool ProcessFence::Available() noexcept {
    // Wine's FlushProcessWriteBuffers may return without any barrier (8.0's
    // does): under Wine the fence counts as unavailable.
    static const bool available = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
    }();
    return available;
}

#else

bool ProcessFence::Available() noexcept { return ComrtProcessBarrierAvailable() != FALSE; }

#endif

void ProcessFence::Run() noexcept { FlushProcessWriteBuffers(); }
