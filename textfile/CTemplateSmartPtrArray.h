// Holder of a line buffer: it starts on a caller's fixed array (not owned) and
// moves to heap arrays that it owns when a line needs more room.
// Ownership: releases (delete[]) only an array that it owns.
// Thread-safety: none; one holder belongs to one reading or writing call.
// Failure: growing throws std::bad_alloc and leaves the holder as it was, so
// its destructor still releases any array that it owned.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

template <typename T>
class CTemplateSmartPtrArray {
public:
    explicit CTemplateSmartPtrArray(T* array, bool owned = false) noexcept : m_pArray(array), m_bOwned(owned) {}
    virtual ~CTemplateSmartPtrArray() {
        if (m_bOwned) {
            Release(m_pArray);
        }
    }
    CTemplateSmartPtrArray(const CTemplateSmartPtrArray&) = delete;
    CTemplateSmartPtrArray& operator=(const CTemplateSmartPtrArray&) = delete;

    T* Get() const noexcept { return m_pArray; }
    bool IsOwned() const noexcept { return m_bOwned; }

    // Makes room for `needed` elements, keeping the first `current` ones.
    void Grow(size_t needed, size_t current) { m_pArray = GrowArray(m_pArray, needed, current, m_bOwned); }

    // Returns `array` unchanged when `needed` is not above `current`.
    // Otherwise returns a new zero-filled array of `needed` elements holding
    // the old contents, releases the old array if `owned`, and sets `owned`.
    // On allocation failure nothing is changed and std::bad_alloc propagates.
    static T* GrowArray(T* array, size_t needed, size_t current, bool& owned) {
        if (needed <= current) {
            return array;
        }
        T* grown = new T[needed]();
        if (array != nullptr && current > 0) {
            std::memcpy(grown, array, std::min(needed, current) * sizeof(T));
        }
        if (owned) {
            Release(array);
        }
        owned = true;
        return grown;
    }

private:
    // Kept out of line: once inlined, GCC merges the paths of the fixed and
    // the owned buffer and warns that a fixed one could be released, though
    // the owned flag rules that out.
#if defined(__GNUC__)
    __attribute__((noinline))
#endif
    static void Release(T* array) noexcept { delete[] array; }

    T* m_pArray;
    bool m_bOwned;
};
