#include "Bstr.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <comrt/objbase.h>

namespace {
// Room for the prefix and the terminator; the prefix is kept 4 bytes before
// the text, so the allocation starts there.
constexpr size_t kPrefix = sizeof(DWORD);
constexpr size_t kTerminator = sizeof(OLECHAR);
constexpr UINT kMaxBytes = 0x7FFFFFF0u;

// Freed strings of small sizes are kept per thread and handed out again, as
// OLE Automation's own string cache does (and, as there, OANOCACHE in the
// environment switches it off): a client that reads a result value by value
// allocates and frees strings of a few sizes millions of times, and the
// general allocator costs several times more per pair. Blocks are grouped by
// their size rounded up to kGrain bytes and always allocated at their
// group's full size, so that any block of a group fits any string of it.
// Builds with AddressSanitizer keep no cache, so that it still sees every
// string's use after its release.
constexpr size_t kGrain = 16;
constexpr size_t kGroups = 8;  // blocks of up to 128 bytes
constexpr size_t kDepth = 8;   // blocks kept per group and thread

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCacheBuilt = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCacheBuilt = false;
#else
constexpr bool kCacheBuilt = true;
#endif
#else
constexpr bool kCacheBuilt = true;
#endif

bool CacheOn() {
    static const bool on = kCacheBuilt && std::getenv("OANOCACHE") == nullptr;
    return on;
}

// A thread's kept blocks. Zero-initialised, so that reaching it takes no
// initialisation check; the initial-exec model keeps each access a plain
// offset from the thread pointer instead of a call.
struct StringCache {
    struct Group {
        void* blocks[kDepth];
        size_t count;
    };
    Group groups[kGroups];
    bool started;  // this thread has registered the release below
    bool gone;     // released: strings freed by later thread-exit code go
                   // straight back to the allocator

    void* Take(size_t group) noexcept {
        Group& g = groups[group];
        return g.count > 0 ? g.blocks[--g.count] : nullptr;
    }
    bool Keep(size_t group, void* block) noexcept {
        Group& g = groups[group];
        if (g.count == kDepth) return false;
        g.blocks[g.count++] = block;
        return true;
    }
};

__attribute__((tls_model("initial-exec"))) thread_local StringCache threadCache;

// Releases the thread's kept blocks when the thread ends.
struct StringCacheRelease {
    ~StringCacheRelease() {
        for (StringCache::Group& g : threadCache.groups) {
            while (g.count > 0) std::free(g.blocks[--g.count]);
        }
        threadCache.gone = true;
    }
};

// The first use on a thread: registers the release, unless the cache is off.
__attribute__((noinline)) StringCache* StartThreadCache() {
    StringCache& cache = threadCache;
    if (!CacheOn()) return nullptr;
    static thread_local StringCacheRelease release;
    (void)release;
    cache.started = true;
    return cache.gone ? nullptr : &cache;
}

// Inline on every allocation and release: two tests of the thread's cache.
inline StringCache* ThisThreadCache() {
    StringCache& cache = threadCache;
    if (!cache.started) return StartThreadCache();
    return cache.gone ? nullptr : &cache;
}

// The group of a block of total bytes; kGroups when it is not cached.
size_t GroupOf(size_t total) { return (total + kGrain - 1) / kGrain - 1; }
}  // namespace

BSTR Bstr::Allocate(const void* bytes, UINT byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    // Round the tail up to a whole unit so an odd byte length still ends in a
    // complete zero unit.
    const size_t total = kPrefix + byteLength + kTerminator + (byteLength & 1u);
    const size_t group = GroupOf(total);
    unsigned char* block = nullptr;
    if (group < kGroups) {
        if (StringCache* cache = ThisThreadCache()) block = static_cast<unsigned char*>(cache->Take(group));
        if (block == nullptr) block = static_cast<unsigned char*>(std::malloc((group + 1) * kGrain));
    } else {
        block = static_cast<unsigned char*>(std::malloc(total));
    }
    if (block == nullptr) return nullptr;
    const DWORD length = byteLength;
    std::memcpy(block, &length, kPrefix);
    if (bytes != nullptr) {
        std::memcpy(block + kPrefix, bytes, byteLength);
    } else {
        std::memset(block + kPrefix, 0, byteLength);
    }
    // The terminator: one zero unit, and a zero byte before it for an odd
    // byte length.
    unsigned char* tail = block + kPrefix + byteLength;
    tail[0] = 0;
    tail[1] = 0;
    if ((byteLength & 1u) != 0) tail[2] = 0;
    return reinterpret_cast<BSTR>(block + kPrefix);
}

void Bstr::Free(BSTR text) {
    if (text == nullptr) return;
    unsigned char* block = reinterpret_cast<unsigned char*>(text) - kPrefix;
    const UINT byteLength = ByteLength(text);
    const size_t group = GroupOf(kPrefix + byteLength + kTerminator + (byteLength & 1u));
    if (group < kGroups) {
        if (StringCache* cache = ThisThreadCache(); cache != nullptr && cache->Keep(group, block)) return;
    }
    std::free(block);
}

UINT Bstr::ByteLength(BSTR text) {
    if (text == nullptr) return 0;
    DWORD length = 0;
    std::memcpy(&length, reinterpret_cast<const unsigned char*>(text) - kPrefix, kPrefix);
    return length;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    const size_t units = std::char_traits<OLECHAR>::length(text);
    if (units > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return Bstr::Allocate(text, static_cast<UINT>(units * sizeof(OLECHAR)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return Bstr::Allocate(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return Bstr::Allocate(bytes, length); }

void SysFreeString(BSTR bstr) { Bstr::Free(bstr); }

UINT SysStringLen(BSTR bstr) { return Bstr::ByteLength(bstr) / sizeof(OLECHAR); }

UINT SysStringByteLen(BSTR bstr) { return Bstr::ByteLength(bstr); }
