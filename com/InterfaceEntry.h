// One row of a class's interface table: an interface identifier and the cast
// from the class to that interface. A class T that is built into a COM
// object declares
//     static std::span<const InterfaceEntry<T>> InterfaceTable() noexcept;
// whose first row is the object's identity (it also answers IID_IUnknown).
// Several rows may cast to the same interface (IRecordSet and IDispatch).
#pragma once

#include <span>

#include "com/Platform.h"

template <class T>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(T* self) noexcept;

    template <class Interface>
    static constexpr InterfaceEntry Of(const IID& interfaceId) noexcept {
        return InterfaceEntry{&interfaceId, &CastTo<Interface>};
    }

    template <class Interface>
    static IUnknown* CastTo(T* self) noexcept {
        return static_cast<Interface*>(self);
    }

    // The interface of `self` answering riid, without a reference added;
    // null when the table has no row for it.
    static IUnknown* Find(std::span<const InterfaceEntry> table, T* self, REFIID riid) noexcept {
        if (table.empty()) {
            return nullptr;
        }
        if (IsEqualIID(riid, IID_IUnknown)) {
            return table.front().cast(self);
        }
        for (const InterfaceEntry& entry : table) {
            if (IsEqualIID(riid, *entry.iid)) {
                return entry.cast(self);
            }
        }
        return nullptr;
    }
};
