// How an enumerator copies out and drops the items it enumerates: every item
// held in a snapshot, and every item handed to a caller, carries one
// reference of its own.
#pragma once

#include "com/Platform.h"

template <class Item>
struct EnumItemTraits;

template <>
struct EnumItemTraits<CONNECTDATA> {
    static void AddRef(const CONNECTDATA& item) noexcept {
        if (item.pUnk != nullptr) {
            item.pUnk->AddRef();
        }
    }
    static void Release(const CONNECTDATA& item) noexcept {
        if (item.pUnk != nullptr) {
            item.pUnk->Release();
        }
    }
};

template <>
struct EnumItemTraits<IConnectionPoint*> {
    static void AddRef(IConnectionPoint* item) noexcept {
        if (item != nullptr) {
            item->AddRef();
        }
    }
    static void Release(IConnectionPoint* item) noexcept {
        if (item != nullptr) {
            item->Release();
        }
    }
};
