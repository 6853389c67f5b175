#include "com/ProcessFence.h"

#include "com/Platform.h"

#ifdef _WIN32

// The Windows build is tested under Wine only, whose FlushProcessWriteBuffers
// may return without any barrier (8.0's does) and which can hide the exports
// that would tell it apart: the fence counts as unavailable.
bool ProcessFence::Available() noexcept { return false; }

#else

bool ProcessFence::Available() noexcept { return ComrtProcessBarrierAvailable() != FALSE; }

#endif

void ProcessFence::Run() noexcept { FlushProcessWriteBuffers(); }
