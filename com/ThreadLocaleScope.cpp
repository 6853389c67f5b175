#include "com/ThreadLocaleScope.h"

#ifdef _WIN32
ThreadLocaleScope::ThreadLocaleScope(LCID locale) noexcept : previous_(GetThreadLocale()) { SetThreadLocale(locale); }

ThreadLocaleScope::~ThreadLocaleScope() { SetThreadLocale(previous_); }
#else
ThreadLocaleScope::ThreadLocaleScope(LCID locale) noexcept : previous_(locale) {}

ThreadLocaleScope::~ThreadLocaleScope() = default;
#endif
