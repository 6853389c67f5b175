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
}  // namespace

BSTR Bstr::Allocate(const void* bytes, UINT byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    // Round the tail up to a whole unit so an odd byte length still ends in a
    // complete zero unit.
    const size_t total = kPrefix + byteLength + kTerminator + (byteLength & 1u);
    auto* block = static_cast<unsigned char*>(std::malloc(total));
    if (block == nullptr) return nullptr;
    const DWORD length = byteLength;
    std::memcpy(block, &length, kPrefix);
    if (bytes != nullptr) {
        std::memcpy(block + kPrefix, bytes, byteLength);
    } else {
        std::memset(block + kPrefix, 0, byteLength);
    }
    std::memset(block + kPrefix + byteLength, 0, total - kPrefix - byteLength);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

void Bstr::Free(BSTR text) {
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
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
