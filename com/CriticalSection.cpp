#include "com/CriticalSection.h"

CriticalSection::~CriticalSection() {
    if (initialized_) {
        DeleteCriticalSection(&section_);
    }
}

HRESULT CriticalSection::Initialize() noexcept {
    if (initialized_) {
        return S_OK;
    }
    if (!InitializeCriticalSectionAndSpinCount(&section_, 0)) {
        const DWORD error = GetLastError();
        // A failure without an error code must still read as a failure.
        return error != 0 ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
    }
    initialized_ = true;
    return S_OK;
}
