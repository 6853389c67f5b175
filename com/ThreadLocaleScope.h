// Switches the calling thread's locale for a scope and restores the previous
// one on every way out, as server registration does (it runs in the system
// default locale). The Linux runtime has no thread locales: there the scope
// does nothing.
// Thread-safety: affects the calling thread only.
#pragma once

#include "com/Platform.h"

class ThreadLocaleScope {
public:
    explicit ThreadLocaleScope(LCID locale) noexcept;
    ~ThreadLocaleScope();
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

private:
    [[maybe_unused]] LCID previous_ = 0;  // restored where threads have locales (Windows)
};
